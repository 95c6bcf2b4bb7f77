#pragma once

#include "acquire/RecordWriter.h"

#include <QString>

// Every text pulse-record shows. Operators read Simplified Chinese; command
// names, options and numbers stay ASCII so that they can be typed as shown.
// File names are filled in last, in one pass, so a '%' in a name stays as it is.
namespace RecordTexts {

inline QString num(qint64 n)
{
    return QString::number(n);
}
inline const QString RecordBytes = num(RecordWriter::RecordSize);

inline const QString Help
    = QStringLiteral("用法：\n"
                     "  pulse-record show FILE... [--rate HZ]\n"
                     "  pulse-record png FILE [-o OUT.png] [--rate HZ]\n"
                     "  pulse-record csv FILE [--rate HZ]\n"
                     "  pulse-record --help\n"
                     "\n"
                     "查看脉搏采样演示程序保存的记录文件（\"1\"、\"2\"……，每个 %1 字节，每字节一个采样值）。\n"
                     "\n"
                     "命令：\n"
                     "  show   逐个检查文件大小，显示最小值、最大值、平均值和由脉搏波峰估计的心率\n"
                     "  png    把记录画成图片（黄色波形、深蓝底色、两条红色参考线），默认保存为 FILE.png\n"
                     "  csv    每个采样输出一行到标准输出：序号、时间（给出 --rate 时）和采样值，供电子表格使用\n"
                     "\n"
                     "选项：\n"
                     "  --rate HZ    记录时的采样速率（Hz），如 200、300、400、500、1000；\n"
                     "               show 不给出时按 200 计算心率，png 给出时画以秒为单位的时间轴\n"
                     "  -o OUT.png   png 命令的输出文件\n"
                     "  -h, --help   显示本说明\n"
                     "\n"
                     "退出码：0 正常；1 文件有问题（不存在、是文件夹、为空、长度不对、无法读取）或图片无法保存；\n"
                     "        2 命令行用法错误\n")
          .arg(RecordBytes);

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
    return QStringLiteral("选项 -o 只用于 png 命令");
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

// png.
inline QString sameAsRecord(const QString &p)
{
    return QStringLiteral("图片不能保存到记录文件“%1”本身").arg(p);
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
inline QString valuesLine(int minimum, int maximum, double mean)
{
    return QStringLiteral("  最小值 %1，最大值 %2，平均值 %3")
        .arg(num(minimum), num(maximum), QString::number(mean, 'f', 1));
}
inline QString rateLine(double bpm, int beats, const QString &hz)
{
    return QStringLiteral("  心率 %1 次/分（依据 %2 次心跳，采样速率 %3 Hz）")
        .arg(QString::number(bpm, 'f', 1), num(beats), hz);
}
inline QString noPulseLine(const QString &hz)
{
    return QStringLiteral("  未发现脉搏（采样速率 %1 Hz）").arg(hz);
}

// The picture.
inline QString pictureTitle(const QString &p)
{
    return QStringLiteral("记录文件“%1”").arg(p);
}
inline QString pictureTitleWithRate(const QString &p, const QString &hz)
{
    return QStringLiteral("记录文件“%1”，采样速率 %2 Hz").arg(p, hz);
}
inline const QString ValueAxis = QStringLiteral("采样值");
inline const QString TimeAxis = QStringLiteral("时间（秒）");
inline const QString IndexAxis = QStringLiteral("采样序号");

} // namespace RecordTexts
