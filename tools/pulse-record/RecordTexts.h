#pragma once

#include "CommandLine.h"
#include "RecordSeries.h"
#include "SessionExport.h"
#include "acquire/RecordFormat.h"
#include "acquire/RecordIndex.h"
#include "acquire/WallClock.h"
#include "app/FileProblemText.h"
#include "link/SensorCommands.h"
#include "recording/SessionReader.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

// Every text pulse-record shows. Operators read Simplified Chinese; command
// names, options and numbers stay ASCII so that they can be typed as shown.
// File names are filled in last, in one pass, so a '%' in a name stays as it is.
namespace RecordTexts {

inline QString num(qint64 n)
{
    return QString::number(n);
}
inline const QString RecordBytes = num(RecordFormat::Size);
// "200、300、400、500、1000"
inline QString sensorRates()
{
    QStringList rates;
    for (int hz : SensorCommands::RatesHz)
        rates << num(hz);
    return rates.join(QStringLiteral("、"));
}

inline const QString Help =
    QStringLiteral(
        "用法：\n"
        "  pulse-record show FILE... [--rate HZ] [--as-stored]\n"
        "  pulse-record png FILE [-o OUT.png] [--force] [--rate HZ] [--as-stored]\n"
        "  pulse-record csv FILE [--rate HZ] [--as-stored]\n"
        "  pulse-record edf FILE... [-o OUT.edf] [--force] [--rate HZ] [--as-stored]\n"
        "  pulse-record sessions [FOLDER]\n"
        "  pulse-record show SESSION...\n"
        "  pulse-record png SESSION [-o OUT.png] [--force] [--from T] [--to T]\n"
        "  pulse-record csv SESSION\n"
        "  pulse-record edf SESSION [-o OUT.edf] [--force]\n"
        "  pulse-record --help\n"
        "\n"
        "查看脉搏采样演示程序保存的记录文件（\"1\"、\"2\"……，每个 %1 字节，每字节一个采样值）。\n"
        "记录旁的记录索引 %2 记着每个记录的保存时间、采样速率、放大倍率、基线和端口，\n"
        "以及当时扫描的位置：有它时采样按时间顺序排列（上一轮扫描在前，本轮在后），\n"
        "两轮交界处记录缺的 1 个采样会标出；最后 1 字节总是填充，不算采样。\n"
        "会话记录（SESSION）是记录文件夹下 %3 文件夹中同名的 STEM%4 和 STEM%5 两个文件，\n"
        "记着从开始采样到退出的每个采样和其间的事件；给出 STEM 或其中任一文件均可。\n"
        "\n"
        "记录文件的命令：\n"
        "  show   逐个检查文件大小，显示索引中的信息、最小值、最大值、平均值和由脉搏波峰估计的脉率\n"
        "  png    把记录画成图片（黄色波形、深蓝底色、两条红色参考线），默认保存为 FILE.png\n"
        "  csv    每个采样输出一行到标准输出：文件中的位置、时间（采样速率已知时）、采样值和备注\n"
        "  edf    把一个或几个记录依次写成一个 EDF+ 文件，标出每个记录的开始和每次心跳，默认保存为 FILE.edf\n"
        "\n"
        "会话记录的命令：\n"
        "  sessions  列出文件夹（记录文件夹或其中的 %3 文件夹，默认为当前文件夹）中的会话记录：\n"
        "         开始时间、时长、采样数、标记数和用过的采样速率\n"
        "  show   会话记录的时长、每个事件及其时间、每 %7 秒的脉率\n"
        "  png    把会话记录的一段画成多行的图，标出事件和标记，默认保存为 STEM.png\n"
        "  csv    每个采样一行：采样序号、时间、采样值、事件\n"
        "  edf    写成 EDF+ 文件，每个事件和标记是其采样处的注释；采样速率改变处分为几个文件，\n"
        "         第一个为 OUT.edf（默认 STEM.edf），其后为 OUT-2.edf、OUT-3.edf……\n"
        "\n"
        "选项：\n"
        "  --rate HZ     记录时的采样速率（Hz），可为 %6；有记录索引时不必给出，\n"
        "                给出时优先；show 两者都没有时按 %8 计算脉率；edf 没有记录索引时必须给出\n"
        "  --as-stored   按文件中的存储顺序，不按时间顺序\n"
        "  -o OUT        png 或 edf 命令的输出文件；已有的记录文件、记录索引、会话记录的文件\n"
        "                和不是普通文件的不覆盖，文件夹和设备从不覆盖\n"
        "  --force       输出文件是记录文件、记录索引、会话记录的文件或不是普通文件时也覆盖\n"
        "  --from T, --to T  png 只画会话记录中的这一段：T 为从开始算起的秒数（如 90）\n"
        "                或时刻（如 15:31:20，按记录的时区；早于开始的时刻算作第二天）\n"
        "  -h, --help    显示本说明\n"
        "\n"
        "会话记录的采样速率只能是传感器的 %6 Hz；时间按采样计数，记录中途调过的时钟不影响时段。\n"
        "\n"
        "退出码：0 正常；1 输入有问题（不存在、不是普通文件、过大、为空、长度不对、无法读取、索引中没有它或\n"
        "        格式不对、会话记录格式不对或版本更新、采样速率无效）或输出无法写出（图片、EDF 文件或标准输出，\n"
        "        如磁盘已满、管道已关闭；图片和 EDF 文件此时不留下）；\n"
        "        -o 指向文件夹或设备时也是 1；2 命令行用法错误，或 -o 指向不加 --force 不覆盖的文件\n")
        .arg(RecordBytes, RecordIndex::FileName, QLatin1String(SessionFormat::FolderName),
             QLatin1String(SessionFormat::SamplesSuffix), QLatin1String(SessionFormat::EventsSuffix), sensorRates(),
             num(qint64(SessionExport::PulseWindowSeconds)), num(qint64(CommandLine::DefaultRateHz)));

// The results could not be written (exit 1).
inline const QString StdoutFailed = QStringLiteral("无法写出到标准输出（磁盘已满或管道已关闭），输出不完整");
inline const QString OutOfMemory = QStringLiteral("内存不足，无法完成");

// Usage errors (exit 2).
inline const QString SeeHelp = QStringLiteral("，用法见 pulse-record --help");
inline QString noCommand()
{
    return QStringLiteral("缺少命令") + SeeHelp;
}
inline QString unknownCommand(const QString &c)
{
    return QStringLiteral("未知命令“%1”").arg(c) + SeeHelp;
}
inline QString unknownOption(const QString &o)
{
    return QStringLiteral("未知选项“%1”").arg(o) + SeeHelp;
}
inline QString missingValue(const QString &o)
{
    return QStringLiteral("选项 %1 缺少参数").arg(o) + SeeHelp;
}
inline QString repeatedOption(const QString &o)
{
    return QStringLiteral("选项 %1 只能给出一次").arg(o);
}
inline QString badRate(const QString &v, int low, int high)
{
    return QStringLiteral("采样速率“%1”无效：应为 %2 到 %3 之间的数（单位 Hz）").arg(v, num(low), num(high));
}
inline QString noFile()
{
    return QStringLiteral("缺少记录文件") + SeeHelp;
}
inline QString oneFileOnly(const QString &c)
{
    return QStringLiteral("%1 命令只接受一个记录文件").arg(c);
}
inline QString outputOnlyForPng()
{
    return QStringLiteral("选项 -o 只用于 png 和 edf 命令");
}
inline QString forceOnlyForOutput()
{
    return QStringLiteral("选项 --force 只用于 png 和 edf 命令");
}
inline QString fromToOnlyForPng()
{
    return QStringLiteral("选项 --from 和 --to 只用于会话记录的 png 命令");
}
inline QString badTimePoint(const QString &v)
{
    return QStringLiteral("时间“%1”无效：应为从开始算起的秒数（如 90）或时刻（如 15:31:20）").arg(v);
}
inline QString oneFolderOnly()
{
    return QStringLiteral("sessions 命令只接受一个文件夹");
}
inline QString noOptionsForSessions()
{
    return QStringLiteral("sessions 命令不接受选项");
}
inline QString notForSessions(const QString &p)
{
    return QStringLiteral("“%1”是会话记录，选项 --rate 和 --as-stored 只用于记录文件").arg(p);
}
inline QString oneSessionOnly()
{
    return QStringLiteral("edf 命令一次只导出一个会话记录，且不与记录文件合并");
}

// Files that cannot be read (exit 1).
inline QString missing(const QString &p)
{
    return QStringLiteral("找不到文件“%1”").arg(p);
}
inline QString folder(const QString &p)
{
    return QStringLiteral("“%1”是文件夹，不是记录文件").arg(p);
}
inline QString notAFile(const QString &p)
{
    return QStringLiteral("无法读取“%1”：不是普通文件").arg(p);
}
inline QString unreadable(const QString &p, bool permission)
{
    return QStringLiteral("无法读取文件“%1”：%2")
        .arg(p, permission ? QStringLiteral("没有读取权限") : QStringLiteral("读取出错"));
}
inline QString empty(const QString &p)
{
    return QStringLiteral("文件“%1”是空的，记录文件应为 %2 字节").arg(p, RecordBytes);
}

// Files of the wrong length are still used (exit 1).
inline QString tooShort(const QString &p, qint64 size)
{
    return QStringLiteral("警告：文件“%1”只有 %2 字节，记录文件应为 %3 字节，记录不完整")
        .arg(p, num(size), RecordBytes);
}
inline QString tooLong(const QString &p, qint64 size)
{
    return QStringLiteral("警告：文件“%1”有 %2 字节，记录文件应为 %3 字节，只使用前 %3 字节")
        .arg(p, num(size), RecordBytes);
}

// The index beside a record (exit 1; the record is still used, in file order).
inline QString noIndexLine(const QString &p, const QString &index)
{
    return QStringLiteral("记录索引“%1”中没有与文件“%2”内容相符的一行，按存储顺序使用").arg(index, p);
}
inline QString badIndexLine(const QString &index, int line)
{
    return QStringLiteral("记录索引“%1”第 %2 行格式不对，按存储顺序使用").arg(index, num(line));
}
inline QString indexUnreadable(const QString &index)
{
    return QStringLiteral("无法读取记录索引“%1”，按存储顺序使用").arg(index);
}
inline QString indexNotAFile(const QString &index)
{
    return QStringLiteral("记录索引“%1”不是普通文件，未读取，按存储顺序使用").arg(index);
}
inline QString indexTooLarge(const QString &index)
{
    return QStringLiteral("记录索引“%1”超过 %2 MiB，不是记录索引，未读取，按存储顺序使用")
        .arg(index, num(RecordIndex::MaxBytes >> 20));
}

// png.
inline QString sameAsRecord(const QString &p)
{
    return QStringLiteral("图片不能保存到记录文件“%1”本身").arg(p);
}
// What -o may not replace: never a folder or a device (exit 1); a record, an
// index, a recording or another kind of file only with --force (exit 2).
inline QString outputIsFolderOrDevice(const QString &p, bool isFolder)
{
    return QStringLiteral("不能保存到“%1”：它是%2")
        .arg(p, isFolder ? QStringLiteral("文件夹") : QStringLiteral("设备"));
}
enum class Guarded { Record, Index, Recording, NotAFile };
inline QString outputGuarded(const QString &p, Guarded what)
{
    const QString kind = what == Guarded::Record ? QStringLiteral("是记录文件")
        : what == Guarded::Index                 ? QStringLiteral("是记录索引")
        : what == Guarded::Recording             ? QStringLiteral("是会话记录的文件")
                                                 : QStringLiteral("不是普通文件");
    return QStringLiteral("不覆盖“%1”：它%2；确要覆盖请加 --force").arg(p, kind);
}
inline QString imageNotSaved(const QString &p)
{
    return QStringLiteral("无法保存图片“%1”").arg(p);
}
inline QString imageSaved(const QString &p)
{
    return QStringLiteral("图片已保存到“%1”").arg(p);
}

// show.
inline QString sizeLine(const QString &p, qint64 size, bool right)
{
    return right ? QStringLiteral("文件“%1”：%2 字节").arg(p, num(size))
                 : QStringLiteral("文件“%1”：%2 字节（应为 %3 字节）").arg(p, num(size), RecordBytes);
}
inline QString factsLine(const RecordIndex::Entry &e)
{
    return QStringLiteral("  保存于 %1，采样速率 %2 Hz，放大倍率 %3x，基线 %4，端口 %5（%6）")
        .arg(WallClock::text(e.savedAt), num(e.rateHz), num(e.gain), num(e.baseline), e.port, e.device);
}
inline QString orderLine(const RecordSeries &s, bool timeOrder, bool indexed)
{
    const int count = int(s.values.size());
    if (!timeOrder)
        return (indexed ? QStringLiteral("  按存储顺序：%1 个采样")
                        : QStringLiteral("  没有索引信息，按存储顺序：%1 个采样"))
                   .arg(num(count)) +
            (s.leftOut.empty() ? QString() : QStringLiteral("，最后 1 字节为填充"));
    QStringList parts;
    if (s.previousCount > 0)
        parts << QStringLiteral("上一轮扫描 %1 个采样").arg(num(s.previousCount));
    if (s.gapAt >= 0)
        parts << QStringLiteral("交界处缺 1 个（未计入）");
    const int current = count - s.previousCount - (s.gapAt >= 0 ? 1 : 0);
    if (current > 0)
        parts << QStringLiteral("本轮扫描 %1 个").arg(num(current));
    QString line = QStringLiteral("  按时间顺序：") + parts.join(QStringLiteral("，"));
    if (!s.leftOut.empty())
        line += QStringLiteral("；另有 %1 字节不是这两轮的采样（填充或更早的扫描），未计入")
                    .arg(num(qint64(s.leftOut.size())));
    return line;
}
inline QString valuesLine(int minimum, int maximum, double mean)
{
    return QStringLiteral("  最小值 %1，最大值 %2，平均值 %3")
        .arg(num(minimum), num(maximum), QString::number(mean, 'f', 1));
}
inline QString rateLine(double bpm, int beats, const QString &hz)
{
    return QStringLiteral("  脉率 %1 次/分（依据 %2 次脉搏，采样速率 %3 Hz）")
        .arg(QString::number(bpm, 'f', 1), num(beats), hz);
}
inline QString noPulseLine(const QString &hz)
{
    return QStringLiteral("  未发现脉搏（采样速率 %1 Hz）").arg(hz);
}

// Session recordings.
inline QString folderMissing(const QString &p)
{
    return QStringLiteral("找不到文件夹“%1”").arg(p);
}
inline QString noSessions(const QString &p)
{
    return QStringLiteral("文件夹“%1”中没有会话记录").arg(p);
}
inline QString sessionsHeading(const QString &p, int count)
{
    return QStringLiteral("文件夹“%1”中有 %2 个会话记录：").arg(p, num(count));
}
// Why the recording named `p` was not read.
inline QString sessionProblem(const QString &p, const SessionReader &r)
{
    using Problem = SessionReader::Problem;
    switch (r.problem) {
    case Problem::None:
        break;
    case Problem::Missing:
        return QStringLiteral("找不到会话记录“%1”：没有事件文件").arg(p);
    case Problem::NotAFile:
        return notAFile(r.file);
    case Problem::TooLarge:
        return QStringLiteral("“%1”超过 %2 MiB，不是会话记录的文件，未读取")
            .arg(r.file, num(SessionReader::MaxEventsBytes >> 20));
    case Problem::Unreadable:
        return QStringLiteral("无法读取会话记录“%1”").arg(p);
    case Problem::Empty:
        return QStringLiteral("“%1”不是会话记录：事件文件是空的").arg(p);
    case Problem::NotASession:
        return QStringLiteral("“%1”不是会话记录：事件文件的第一行不对").arg(p);
    case Problem::NewerVersion:
        return QStringLiteral("会话记录“%1”的格式版本为 %2，本程序只能读取版本 %3，请使用更新的 pulse-record")
            .arg(p, r.value, num(SessionFormat::Version));
    case Problem::BadRate:
        return QStringLiteral("会话记录的事件文件“%1”第 %2 行的采样速率“%3”无效：应为 %4 Hz 之一")
            .arg(r.file, num(r.line), r.value, sensorRates());
    }
    return {};
}
// "1:02:03"
inline QString durationText(double msecs)
{
    const qint64 s = std::llround(std::max(0.0, msecs) / 1000);
    return QStringLiteral("%1:%2:%3")
        .arg(num(s / 3600))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
inline QString ratesText(const std::vector<double> &rates)
{
    QStringList hz;
    for (double r : rates)
        hz << QString::number(r, 'g', 12);
    return hz.isEmpty() ? QStringLiteral("未知") : hz.join(QStringLiteral("、")) + QStringLiteral(" Hz");
}
inline QString sessionSummary(const QDateTime &start, double msecs, qint64 samples, int markers,
                              const std::vector<double> &rates)
{
    return QStringLiteral("开始于 %1，时长 %2，%3 个采样，%4 个标记，采样速率 %5")
        .arg(start.isValid() ? WallClock::text(start) : QStringLiteral("未知"), durationText(msecs), num(samples),
             num(markers), ratesText(rates));
}
inline QString sessionLine(const QString &name, const QString &summary)
{
    return QStringLiteral("  %1：").arg(name) + summary;
}
inline QString sessionTitle(const QString &p)
{
    return QStringLiteral("会话记录“%1”").arg(p);
}
inline QString sessionGaps(int gaps, double msecs)
{
    return QStringLiteral("  中断 %1 次（停止或端口断开），共 %2 无采样").arg(num(gaps), durationText(msecs));
}
inline QString sessionLeftOut(int lines)
{
    return QStringLiteral("  事件文件中有 %1 行未用（末尾未写完、无法识别或所指采样尚未写入）").arg(num(lines));
}
inline const QString EventsHeading = QStringLiteral("事件：");
inline QString eventLine(const QString &clock, double seconds, qint64 sample, const QString &text)
{
    return QStringLiteral("  %1（%2 秒）  采样 %3  %4").arg(clock, QString::number(seconds, 'f', 3), num(sample), text);
}
inline QString pulseHeading(double seconds)
{
    return QStringLiteral("脉率（每 %1 秒）：").arg(num(qint64(seconds)));
}
inline QString pulseWindowLine(const QString &from, const QString &to, bool found, double bpm, int beats,
                               const QString &hz)
{
    return QStringLiteral("  %1 至 %2  ").arg(from, to) +
        (found ? QStringLiteral("脉率 %1 次/分（依据 %2 次脉搏，采样速率 %3 Hz）")
                     .arg(QString::number(bpm, 'f', 1), num(beats), hz)
               : QStringLiteral("未发现脉搏（采样速率 %1 Hz）").arg(hz));
}
inline const QString NoPulseWindows =
    QStringLiteral("  采样不足 %1 秒，无法估计").arg(num(qint64(SessionExport::MinPulseWindowSeconds)));
inline QString sessionPictureTitle(const QString &p, const QString &from, const QString &to, double rowSeconds)
{
    return QStringLiteral("会话记录“%1”，%2 至 %3，每行 %4 秒").arg(p, from, to, QString::number(rowSeconds, 'g', 6));
}
inline QString emptySpan()
{
    return QStringLiteral("所选时段中没有采样");
}
inline QString sessionEdfSaved(const QString &p, const QString &hz, qint64 samples)
{
    return QStringLiteral("EDF 文件已保存到“%1”（采样速率 %2 Hz，%3 个采样）").arg(p, hz, num(samples));
}
inline const QString RowTimeAxis = QStringLiteral("每行开始后的时间（秒）");

// The picture.
inline QString pictureTitle(const QString &p)
{
    return QStringLiteral("记录文件“%1”").arg(p);
}
inline QString pictureTitleWithRate(const QString &p, const QString &hz)
{
    return QStringLiteral("记录文件“%1”，采样速率 %2 Hz").arg(p, hz);
}
// edf.
inline QString edfNeedsRate(const QString &p)
{
    return QStringLiteral("文件“%1”旁没有记录索引，请用 --rate 给出采样速率").arg(p);
}
inline QString edfRatesDiffer(const QString &p, const QString &hz, const QString &before)
{
    return QStringLiteral(
               "文件“%1”的采样速率是 %2 Hz，前面的记录是 %3 Hz；一个 EDF 文件只能有一种速率，可用 --rate 指定")
        .arg(p, hz, before);
}
inline QString edfRateUnusable(double hz, double longestSeconds)
{
    return QStringLiteral("采样速率 %1 Hz 无法写入 EDF 文件：%2 秒内不是整数个采样")
        .arg(QString::number(hz, 'g', 12), QString::number(longestSeconds));
}
inline QString edfNotWritten(const QString &p)
{
    return QStringLiteral("无法写出 EDF 文件“%1”").arg(p);
}
inline QString edfNotSaved(const QString &p, FileProblem problem)
{
    return QStringLiteral("无法保存 EDF 文件“%1”：%2").arg(p, Texts::fileProblem(problem));
}
inline QString edfSaved(const QString &p, int records)
{
    return QStringLiteral("EDF 文件已保存到“%1”（%2 个记录）").arg(p, num(records));
}
inline const QString EdfStartUnknown =
    QStringLiteral("注意：没有记录索引，开始时间未知，EDF 文件中记为 1985-01-01 00:00:00");
// Annotations: EDFlib keeps at most 40 bytes of each.
inline QString edfRecordBegins(const QString &name)
{
    return QStringLiteral("记录 %1 开始").arg(name);
}
inline const QString EdfMissingSample = QStringLiteral("缺 1 个采样");
inline const QString EdfBeat = QStringLiteral("心跳");
inline const QString EdfPadding = QStringLiteral("补齐，无数据");

inline const QString ValueAxis = QStringLiteral("采样值");
inline const QString TimeAxis = QStringLiteral("时间（秒）");
inline const QString IndexAxis = QStringLiteral("采样序号");

} // namespace RecordTexts
