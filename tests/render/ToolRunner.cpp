#include "tests/render/ToolRunner.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vl::render::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path captureFolder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("vl-render-capture-" + std::to_string(
#ifdef _WIN32
                                                                             GetCurrentProcessId()
#else
                                                                             getpid()
#endif
                                                                                 ));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

#ifdef _WIN32
std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        if (c == L'"') q.append(2 * slashes + 1, L'\\');
        else q.append(slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(2 * slashes, L'\\');
    return q + L"\"";
}
#endif

} // namespace

std::string toolPath() { return VL_RENDER_TOOL; }

ToolRun runTool(const std::vector<std::string>& args, const std::string& workDir, long fileSizeLimit) {
    ToolRun run;
    const fs::path outPath = captureFolder() / "stdout.txt";
    const fs::path errPath = captureFolder() / "stderr.txt";
    fs::remove(outPath);
    fs::remove(errPath);
#ifdef _WIN32
    (void)fileSizeLimit;
    std::wstring commandLine = quoteArgument(fs::path(toolPath()).wstring());
    for (const std::string& a : args) commandLine += L" " + quoteArgument(fs::u8path(a).wstring());
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                             nullptr);
    HANDLE err = CreateFileW(errPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0,
                             nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    const std::wstring dir = workDir.empty() ? std::wstring() : fs::path(workDir).wstring();
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        run.status = int(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
#else
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
        if (fileSizeLimit > 0) {
            // Writes past the limit then fail with EFBIG instead of raising SIGXFSZ.
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        std::vector<char*> argv;
#ifdef VL_RENDER_TOOL_EMULATOR
        // a 32-bit build run under its emulator: the tool too (no 32-bit execution here)
        std::string emulator = VL_RENDER_TOOL_EMULATOR;
        argv.push_back(emulator.data());
#endif
        const std::string path = toolPath();
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
#endif
    run.out = slurp(outPath);
    run.err = slurp(errPath);
#ifdef _WIN32
    // Text-mode streams on Windows end lines with CR LF.
    for (std::string* s : {&run.out, &run.err}) std::erase(*s, '\r');
#endif
    return run;
}

} // namespace vl::render::test
