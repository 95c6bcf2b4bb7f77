// Runs the fuzz target once on each file named, or on each file of each
// folder named, without libFuzzer: the kept inputs as ordinary tests.
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString named = QString::fromLocal8Bit(argv[i]);
        QStringList files {named};
        if (QFileInfo(named).isDir()) {
            files.clear();
            for (const QString &name : QDir(named).entryList(QDir::Files, QDir::Name))
                files << QDir(named).filePath(name);
        }
        for (const QString &path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray input = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.constData()), size_t(input.size()));
            ++runs;
        }
    }
    std::printf("%d inputs read\n", runs);
    return runs > 0 ? 0 : 1;
}
