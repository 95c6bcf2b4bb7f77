#pragma once

#include "FileProblemText.h"
#include "SessionEventText.h"
#include "acquire/FileProblem.h"
#include "link/PortDirectory.h"
#include "link/SerialService.h"
#include "session/SessionNotice.h"

#include <QString>
#include <QStringList>

// Every text the operator sees. A carriage return (\r) starts a new line, as
// the captions have always been written; CaptionLabel and the warning box show
// it as a line break.
namespace Texts {

inline const QString WindowTitle = QStringLiteral("脉搏数字传感器采样演示");

inline const QStringList InstructionLines = {
    QStringLiteral("采样测试提示："),
    QStringLiteral("    1、请将传感器对准桡动脉搏动最强处，扎紧腕带。"),
    QStringLiteral("    2、将手臂平置于台上，与心脏平齐。"),
    QStringLiteral("    3、测试中不要动作，不要说话，心情放松，呼吸平稳。"),
    QStringLiteral("    4、测试中，可以随时用鼠标调整参数（速率、倍率、基线）"),
    QStringLiteral("    5、在停止采样状态下，点击《传感器序列号》窗口显示序列号"),
};
inline QString instructions()
{
    return InstructionLines.join(QChar(u'\r'));
}

// Two leading and fourteen trailing spaces.
inline const QString PortPrompt = QStringLiteral("  请选择传感器通讯端口              ");

inline const QString RateFrame = Rate + QStringLiteral("设置");
inline const QString GainFrame = Gain + QStringLiteral("设置");
inline const QString BaselineFrame = Baseline;
inline const QString SerialFrame = QStringLiteral("传感器") + SerialNumber;
inline const QString Exit = QStringLiteral("退出");

// The pulse readout below the serial number. %1: beats a minute, or NoRate.
inline const QString PulseRate = QStringLiteral("脉率 %1 次/分");
inline const QString NoRate = QStringLiteral("---");
// The trace is cut flat at the top, or at the bottom.
inline const QString SignalTooHigh = QStringLiteral("信号过强，请降低放大倍率");
inline const QString SignalTooLow = QStringLiteral("信号过低，请提高基线");

inline const QString WarningTitle = QStringLiteral("警告");
inline const QString PortSelectionError = QStringLiteral("端口选择错误 ！\r\r      系统不存在此端口号，请检查后重选  ");
// Added below PortSelectionError when the reason is known. %1: the reason.
inline const QString ReasonLine = QStringLiteral("\r      原因：%1");
inline const QString PortNotOpen =
    QStringLiteral("端口未打开 ！\r\r      请先在“请选择传感器通讯端口”下选择传感器的端口  ");
// The same sensor plugged back in on the same port reconnects by itself.
inline const QString PortLost =
    QStringLiteral("传感器连接中断 ！\r\r      端口已关闭。将传感器重新插好后程序会自动重新连接，\r"
                   "      也可以重新选择端口  ");
// %1: the record file's name.
inline const QString StopWithoutPort =
    QStringLiteral("端口未打开，停止命令未能发送到传感器 ！\r\r      采样记录已保存到文件“%1”  ");
// %1: the record file's name, %2: the reason.
inline const QString RecordNotSaved =
    QStringLiteral("采样记录未能保存到文件“%1” ！\r\r      原因：%2。请排除后再次点击“停止”  ");
// %1: the record file's name, %2: the index file's name, %3: the reason.
inline const QString IndexLineMissing = QStringLiteral("采样记录已保存到文件“%1”，但记录索引“%2”中缺少它的一行 ！\r\r  "
                                                       "    原因：%3。该记录的采样速率、放大倍率和时间未被记下  ");

// %1: the sessions folder, %2: the reason.
inline const QString RecordingFailed = QStringLiteral(
    "会话录制无法写入“%1” ！\r\r      原因：%2。采样和记录文件的保存照常进行，下次点击“开始”时重新录制  ");
// %1: the sessions folder.
inline const QString RecordingBehind =
    QStringLiteral("会话录制写入“%1”过慢 ！\r\r      "
                   "磁盘跟不上，一段采样未能录入，录制中已记下这段缺失。采样和记录文件的保存照常进行  ");

// Why a port could not be opened, naming the device.
inline QString openFailure(const SerialService::OpenError &e)
{
    using F = SerialService::OpenFailure;
    switch (e.failure) {
    case F::Missing:
        return QStringLiteral("设备 %1 不存在").arg(e.device);
    case F::NoPermission:
        return QStringLiteral("没有打开 %1 的权限，请将用户加入 dialout 组后重新登录").arg(e.device);
    case F::InUse:
        return QStringLiteral("%1 正被另一个程序使用").arg(e.device);
    case F::NotASerialLine:
        return QStringLiteral("%1 不是串口设备").arg(e.device);
    case F::Other:
        break;
    }
    return QStringLiteral("%1 无法打开").arg(e.device);
}

// A port list entry's tooltip.
inline QString portToolTip(const PortDirectory::Description &d)
{
    QStringList lines {d.device + (d.present ? QStringLiteral("：已连接") : QStringLiteral("：未连接"))};
    const QList<QPair<QString, QString>> fields = {{QStringLiteral("描述"), d.description},
                                                   {QStringLiteral("制造商"), d.manufacturer},
                                                   {QStringLiteral("序列号"), d.serialNumber}};
    for (const auto &[label, value] : fields) {
        if (!value.isEmpty())
            lines << label + QStringLiteral("：") + value;
    }
    return lines.join(QLatin1Char('\n'));
}

// Why an earlier file could not be kept as backup `backup`.
inline QString backupNotMade(const QString &backup, FileProblem problem)
{
    const QString cause = problem == FileProblem::NoPermission ? QStringLiteral("没有写入权限")
        : problem == FileProblem::DiskFull                     ? QStringLiteral("磁盘已满")
                                                               : QStringLiteral("改名失败");
    return QStringLiteral("原有文件无法改名为备份“%1”（%2）").arg(backup, cause);
}

// The warning box's text for what the session reports.
inline QString notice(const SessionNotice &n)
{
    using K = SessionNotice::Kind;
    const QString why =
        n.save.backupFailed ? backupNotMade(n.save.backup, n.save.problem) : fileProblem(n.save.problem);
    switch (n.kind) {
    case K::PortNotOpen:
        return PortNotOpen;
    case K::PortNotOpened:
        return PortSelectionError + ReasonLine.arg(openFailure(n.open));
    case K::PortLost:
        return PortLost;
    case K::RecordNotSaved:
        return RecordNotSaved.arg(n.record, why);
    case K::IndexLineMissing:
        return IndexLineMissing.arg(n.record, RecordIndex::FileName, why);
    case K::StopWithoutPort:
        return StopWithoutPort.arg(n.record);
    case K::RecordingFailed:
        return RecordingFailed.arg(n.record, fileProblem(n.save.problem));
    case K::RecordingBehind:
        return RecordingBehind.arg(n.record);
    }
    return {};
}

} // namespace Texts
