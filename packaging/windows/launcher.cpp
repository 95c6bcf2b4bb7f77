// The Start menu's pulse-demo: starts the program beside this file in the
// records folder under the user's Documents folder, which it creates when
// missing. The program saves its records in the folder it was started
// from, so a menu launch must not leave them in the install folder.
#include "LauncherNames.h"

#include <shlobj.h>
#include <string>
#include <windows.h>

namespace {

std::wstring documentsFolder()
{
    PWSTR path = nullptr;
    std::wstring out;
    if (SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &path) == S_OK)
        out = path;
    CoTaskMemFree(path);
    return out;
}

std::wstring besideThisProgram(const wchar_t *name)
{
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, self.data(), DWORD(self.size()));
        if (n < self.size()) {
            self.resize(n);
            break;
        }
        self.resize(self.size() * 2);
    }
    return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int show)
{
    const std::wstring program = besideThisProgram(L"pulse-demo.exe");
    std::wstring folder = documentsFolder();
    if (!folder.empty()) {
        folder += L'\\';
        folder += RecordsFolder;
        CreateDirectoryW(folder.c_str(), nullptr); // fails harmlessly when it is there
    }
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(show);
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        MessageBoxW(nullptr, (L"无法启动 " + program).c_str(), WindowTitle, MB_ICONERROR);
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
