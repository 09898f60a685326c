// system_messages.cpp: the English system message table: Win32 error texts and COM HRESULT texts.
#include "com/system_messages.hpp"

#include <algorithm>
#include <array>

namespace winemu {
namespace {

struct Message {
    DWORD code;
    std::u16string_view text;
};

// The tables hold every code winemu itself returns (as an HRESULT or through GetLastError) and the
// common COM and Win32 ones, each with Windows' English text and its CR LF. Kept sorted by code.

// Win32 error codes, also reached through their HRESULT_FROM_WIN32 form (0x8007xxxx).
constexpr auto win32_messages = std::to_array<Message>({
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {32, u"The process cannot access the file because it is being used by another process.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {80, u"The file exists.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {123, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {127, u"The specified procedure could not be found.\r\n"},
    {145, u"The directory is not empty.\r\n"},
    {161, u"The specified path is invalid.\r\n"},
    {183, u"Cannot create a file when that file already exists.\r\n"},
    {193, u"%1 is not a valid Win32 application.\r\n"},  // an insert, kept as is: inserts are ignored
    {206, u"The filename or extension is too long.\r\n"},
    {223, u"The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {267, u"The directory name is invalid.\r\n"},
    {317, u"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {998, u"Invalid access to memory location.\r\n"},
    {1067, u"The process terminated unexpectedly.\r\n"},
    {1168, u"Element not found.\r\n"},
    {1223, u"The operation was canceled by the user.\r\n"},
    {1251, u"This operation is supported only when you are connected to the server.\r\n"},
    {1326, u"The user name or password is incorrect.\r\n"},
    {1332, u"No mapping between account names and security IDs was done.\r\n"},
    {1392, u"The file or directory is corrupted and unreadable.\r\n"},
    {1460, u"This operation returned because the timeout period expired.\r\n"},
    {1707, u"The network address is invalid.\r\n"},
    {1722, u"The RPC server is unavailable.\r\n"},
    {1780, u"A null reference pointer was passed to the stub.\r\n"},
    {1815, u"The specified resource language ID cannot be found in the image file.\r\n"},
});

// HRESULTs of other facilities, by their full value.
constexpr auto hresult_messages = std::to_array<Message>({
    {0x8000000A, u"The data necessary to complete this operation is not yet available.\r\n"},
    {0x8000000B, u"The operation attempted to access data outside the valid range\r\n"},
    {0x8000000E, u"A method was called at an unexpected time.\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004004, u"Operation aborted\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x80010108, u"The object invoked has disconnected from its clients.\r\n"},
    {0x8001010E, u"The application called an interface that was marshalled for a different thread.\r\n"},
    {0x80040110, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x80041315, u"The Task Scheduler Service is not running.\r\n"},
    {0x80041316, u"The task XML contains an unexpected node.\r\n"},
    {0x80041317, u"The task XML contains an element or attribute from an unexpected namespace.\r\n"},
    {0x80041318, u"The task XML contains a value which is incorrectly formatted or out of range.\r\n"},
    {0x80041319, u"The task XML is missing a required element or attribute.\r\n"},
    {0x8004131A, u"The task XML is malformed.\r\n"},
    {0x8004131D, u"The task XML contains too many nodes of the same type.\r\n"},
    {0x80041321, u"The task image is corrupt or has been tampered with.\r\n"},
    {0x80041326, u"The task is disabled.\r\n"},
});

constexpr DWORD win32_facility_bits = 0x80070000;

std::optional<std::u16string_view> find(const auto& table, DWORD code) {
    const auto found = std::find_if(table.begin(), table.end(), [code](const Message& m) { return m.code == code; });
    if (found == table.end()) return std::nullopt;
    return found->text;
}

}  // namespace

std::optional<std::u16string_view> system_message(DWORD code) noexcept {
    if ((code & 0xFFFF0000) == win32_facility_bits) return find(win32_messages, code & 0xFFFF);
    if (code <= 0xFFFF) return find(win32_messages, code);
    return find(hresult_messages, code);
}

}  // namespace winemu
