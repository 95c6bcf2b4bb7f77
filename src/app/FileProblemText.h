#pragma once

#include "acquire/FileProblem.h"

#include <QString>

// Its own header so that pulse-record, which has no window, says the same.
namespace Texts {

// Why a record or the index could not be written.
inline QString fileProblem(FileProblem problem)
{
    switch (problem) {
    case FileProblem::FolderInTheWay:
        return QStringLiteral("已有同名的文件夹");
    case FileProblem::NoPermission:
        return QStringLiteral("没有写入权限");
    case FileProblem::CannotCreate:
        return QStringLiteral("无法创建文件");
    case FileProblem::DiskFull:
        return QStringLiteral("写入失败，磁盘可能已满");
    case FileProblem::CannotReplace:
        return QStringLiteral("无法替换原有文件");
    case FileProblem::Unreadable:
        return QStringLiteral("无法读取原有索引");
    case FileProblem::FolderBusy:
        return QStringLiteral("另一个程序正在向同一文件夹保存记录");
    case FileProblem::Gone:
        return QStringLiteral("文件或所在文件夹已被移走");
    default:
        return QStringLiteral("写入失败");
    }
}

} // namespace Texts
