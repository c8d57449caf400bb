#include "core/platform/windows.hpp"

#include <stdexcept>

#include "native_stream.hpp"

namespace vorna::test_support {

Pipe make_pipe() {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) throw std::runtime_error("CreatePipe failed");
    return {read, write};
}

platform::Handle make_temp_file() {
    wchar_t directory[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, directory) == 0 || GetTempFileNameW(directory, L"vor", 0, name) == 0) {
        throw std::runtime_error("no temporary file name");
    }
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateFileW failed");
    return file;
}

std::string read_all(platform::Handle handle) {
    (void)SetFilePointer(handle, 0, nullptr, FILE_BEGIN);  // fails harmlessly on a pipe
    std::string text;
    char chunk[8192];
    DWORD n = 0;
    while (ReadFile(handle, chunk, sizeof chunk, &n, nullptr) && n > 0) text.append(chunk, n);
    return text;
}

void close_handle(platform::Handle handle) { CloseHandle(handle); }

platform::Handle no_stream() { return nullptr; }

}  // namespace vorna::test_support
