#include "win32_fixture.h"

#include <vector>

namespace cw::test {

std::string EnvironmentValue(const char* name) {
  char buffer[1024] = {};
  const DWORD length = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return (length == 0 || length >= sizeof buffer) ? std::string() : std::string(buffer, length);
}

std::string OwnExecutable() {
  char buffer[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, length);
}

HANDLE StartSelf(const std::string& arguments) {
  std::string commandLine = "\"";
  commandLine += OwnExecutable();
  commandLine += "\" ";
  commandLine += arguments;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return nullptr;
  }
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

int WaitForExit(HANDLE process) {
  if (process == nullptr) return -1;
  ::WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const BOOL ok = ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return ok ? static_cast<int>(code) : -1;
}

int RunSelf(const std::string& arguments) { return WaitForExit(StartSelf(arguments)); }

Win32Test::Win32Test() : platform(std::make_unique<win32::Win32Platform>(win32::Win32PlatformOptions{})) {
  folder = dir.path();
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
}

Win32Test::~Win32Test() = default;

std::string Win32Test::At(const std::string& name) const { return folder + "\\" + name; }

std::string Win32Test::CardDrive() { return EnvironmentValue("CARDWRIGHT_WINE_CARD"); }

}  // namespace cw::test
