// Runs the fuzz target once on each file of the folders named, without
// libFuzzer: the kept inputs as ordinary tests.
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir folder(QString::fromLocal8Bit(argv[i]));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            const QByteArray input = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.constData()), size_t(input.size()));
            ++runs;
        }
    }
    std::printf("%d inputs read\n", runs);
    return runs > 0 ? 0 : 1;
}
