#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Text is UTF-8 std::string inside the program; these are the conversions at its edges.
namespace tarvos {

std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);

// Decodes the bytes of a text file by the one rule every reader follows: a byte-order
// mark selects UTF-8, UTF-16LE or UTF-16BE; without one the bytes are in the ANSI code page.
std::string DecodeText(std::string_view bytes);
// Splits at CR LF, LF or CR. A final line end does not start another (empty) line.
std::vector<std::string> SplitLines(std::string_view text);
// Reads a whole text file into lines by the rules above; throws TarvosError
// "Cannot open file %s" when it cannot be read.
std::vector<std::string> ReadTextLines(const std::string& fileName);
// Writes lines in the ANSI code page, each ended by CR LF, without a byte-order mark,
// replacing the file; throws TarvosError when it cannot be written.
void WriteTextLines(const std::string& fileName, const std::vector<std::string>& lines);

// Removes leading and trailing blanks and control characters (code points <= 32).
std::string TrimText(std::string_view s);

// The program's paths use "\" as separator; this turns one into a path of the host system.
std::filesystem::path PathFromUtf8(const std::string& s);
std::string PathToUtf8(const std::filesystem::path& p);

// ---- per platform (platform/win32, platform/posix) ----
// The ANSI code page: the system's on Windows, UTF-8 on Linux.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// Lower-casing with the user locale's rules.
std::string LowerUser(std::string_view utf8);

}  // namespace tarvos
