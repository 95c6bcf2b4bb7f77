#pragma once

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

inline const QString RateFrame = QStringLiteral("采样速率设置");
inline const QString GainFrame = QStringLiteral("放大倍率设置");
inline const QString BaselineFrame = QStringLiteral("基线");
inline const QString SerialFrame = QStringLiteral("传感器序列号");
inline const QString Start = QStringLiteral("开始");
inline const QString Stop = QStringLiteral("停止");
inline const QString Exit = QStringLiteral("退出");

inline const QString WarningTitle = QStringLiteral("警告");
inline const QString PortSelectionError = QStringLiteral("端口选择错误 ！\r\r      系统不存在此端口号，请检查后重选  ");
// Added below PortSelectionError when the reason is known. %1: the reason.
inline const QString ReasonLine = QStringLiteral("\r      原因：%1");
inline const QString PortNotOpen =
    QStringLiteral("端口未打开 ！\r\r      请先在“请选择传感器通讯端口”下选择传感器的端口  ");
inline const QString PortLost =
    QStringLiteral("传感器连接中断 ！\r\r      端口已关闭，请检查传感器连接后重新选择端口  ");
// %1: the record file's name.
inline const QString StopWithoutPort =
    QStringLiteral("端口未打开，停止命令未能发送到传感器 ！\r\r      采样记录已保存到文件“%1”  ");
// %1: the record file's name, %2: the reason.
inline const QString RecordNotSaved =
    QStringLiteral("采样记录未能保存到文件“%1” ！\r\r      原因：%2。请排除后再次点击“停止”  ");
// %1: the record file's name, %2: the index file's name, %3: the reason.
inline const QString IndexLineMissing = QStringLiteral("采样记录已保存到文件“%1”，但记录索引“%2”中缺少它的一行 ！\r\r  "
                                                       "    原因：%3。该记录的采样速率、放大倍率和时间未被记下  ");

} // namespace Texts
