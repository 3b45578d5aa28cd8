#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace quillon
{

// Results of CreateUserProfile besides 0 (success) and a positive count of rejected rows.
enum ProfileResult {
    ProfileOk = 0,
    ProfileSrcEmpty = -2,
    ProfileSrcMissing = -3,
    ProfileDstEmpty = -4,
    ProfileDstMissing = -5,
    ProfileWorkbookUnreadable = -6,
    ProfileNothingToGenerate = -7,
    ProfileIniNotWritable = -8,
    ProfileTitleWrong = -9,
};

// Titles of the workbook's first row; the layout names eleven columns, later ones are ignored.
constexpr std::array<const char*, 11> profileColumns = {"user",
                                                        "ntvuseraccount",
                                                        "ntvuserpassword",
                                                        "connecttype",
                                                        "netuseraccount",
                                                        "netuserpassword",
                                                        "stbIP",
                                                        "netmask",
                                                        "gateway",
                                                        "dns",
                                                        "dns2"};

// Longest user id and account, in bytes of the box's encoding.
constexpr size_t kMaxProfileIdBytes = 32;
// A plain configuration line keeps at most this many bytes.
constexpr size_t kMaxProfileLineBytes = 149;

// Triple-DES (three keys, EDE, ECB, PKCS#5 padding) of `line` under the fixed key bundle, as
// Base64 without line breaks. Empty only on a library failure.
std::string encodeProfileLine(std::string_view line);

// The plain line "title = value\r" in the box's encoding (core/BoxText.h), cut to
// kMaxProfileLineBytes without splitting a character.
std::string profilePlainLine(std::string_view title, std::string_view value);

// True when `account` can name a file inside the output folder on every file system the disk
// may carry: no separators, no "..", no control or reserved characters, no device name.
bool isSafeAccountName(std::string_view account);

// Turns the workbook `srcFile` into one ".cfg" file per accepted row, "account.ini" and, when
// rows were rejected, "error.txt", all in the folder `dstPath`. The box reads the ".cfg" files and
// "account.ini", so their texts are in its encoding; "error.txt" and the file names are the PC's. `progress` (may be
// empty) gets the share of data rows handled, then 0. Returns 0, the count of rejected rows, or a ProfileResult below
// zero.
int CreateUserProfile(const std::string& srcFile, const std::string& dstPath, const std::function<void(int)>& progress);
// The same; for ProfileWorkbookUnreadable, `readError` (when not null) gets the reader's reason.
int CreateUserProfile(const std::string& srcFile, const std::string& dstPath, const std::function<void(int)>& progress,
                      std::string* readError);

// The user text for a result of CreateUserProfile in the current language. `detail` ends the text
// of a result that names something: the missing file or folder, the reader's reason.
std::string profileResultText(int result, const std::string& detail = {});

} // namespace quillon
