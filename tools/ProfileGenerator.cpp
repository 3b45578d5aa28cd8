#include "ProfileGenerator.h"

#include "IniFile.h"
#include "WorkbookReader.h"

#include <BoxText.h>
#include <Logger.h>
#include <Md5.h>
#include <StringTable.h>

#include <openssl/evp.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon
{

namespace fs = std::filesystem;

namespace
{

// The 24 characters are three DES keys of eight bytes, used as they are (no parity fix).
const std::string& profileKeyBundle()
{
    static const std::string bundle = md5Hex({"pelvantoru", "20480917"}, 12, true);
    return bundle;
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// One keyed context per thread; each line only resets it, which keeps the key schedule.
EVP_CIPHER_CTX* profileCipher()
{
    thread_local CipherContext ctx = [] {
        CipherContext c(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
        const std::string& key = profileKeyBundle();
        if (c &&
            (key.size() != 24 || EVP_EncryptInit_ex(c.get(), EVP_des_ede3_ecb(), nullptr,
                                                    reinterpret_cast<const unsigned char*>(key.data()), nullptr) != 1))
            c.reset();
        return c;
    }();
    return ctx.get();
}

bool makeWritable(const fs::path& path)
{
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
    return !ec;
}

bool makeReadOnly(const fs::path& path)
{
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, ec);
    return !ec;
}

void setReadOnlyOrTrace(const fs::path& path)
{
    if (!makeReadOnly(path))
        Logger::instance().debug("Upon failed changing the file:%s access mode to read only.", path.c_str());
}

// Replaces `path` with `bytes`, leaving it read-only when asked. A link standing under that name
// is never followed and a folder is never touched; a file that could not be written whole is
// removed rather than left cut short. A new file is created read-only at once, saving a chmod.
bool replaceFile(const fs::path& path, const std::string& bytes, bool readOnly)
{
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    const mode_t mode = readOnly ? 0444 : 0644;
    int fd = ::open(path.c_str(), flags, mode);
    if (fd < 0 && errno == EACCES && makeWritable(path)) // read-only from an earlier run
        fd = ::open(path.c_str(), flags, mode);
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    struct stat st {
    };
    if (ok && ::fstat(fd, &st) == 0 && (st.st_mode & 0222) != 0 && readOnly && ::fchmod(fd, st.st_mode & ~0222) != 0)
        Logger::instance().debug("Upon failed changing the file:%s access mode to read only.", path.c_str());
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        std::error_code ec;
        fs::remove(path, ec);
    }
    return ok;
}

// What a text-mode write stores: every line feed becomes CR LF.
std::string textModeBytes(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
               return up(x) == up(y);
           });
}

struct Rejection {
    const char* text; // the error.txt message
    const char* log;  // the log line, with the row number
};

// The first failing check of a data row, or null when the row is accepted.
const Rejection* checkRow(const std::string& user, const std::string& account)
{
    static const Rejection kUserEmpty{"user id empty.", "User Id is empty at row %d in templeate file."};
    static const Rejection kUserLong{"The length of userid is bigger than 32.",
                                     "The length of userid is bigger than 32 at row %d in templeate file."};
    static const Rejection kAccountEmpty{"user account empty.", "User account is empty at row %d in templeate file."};
    static const Rejection kAccountLong{"The length of ntvuseraccount is bigger than 32.",
                                        "The length of ntvuseraccount is bigger than 32 at row %d in templeate file."};
    static const Rejection kAccountUnsafe{"ntvuseraccount is not a valid file name.",
                                          "The ntvuseraccount is not a valid file name at row %d in templeate file."};
    if (user.empty())
        return &kUserEmpty;
    // The limits are the box's, in its own encoding: eleven Chinese characters are 22 GBK bytes.
    if (boxByteLength(user) > kMaxProfileIdBytes)
        return &kUserLong;
    if (account.empty())
        return &kAccountEmpty;
    if (boxByteLength(account) > kMaxProfileIdBytes)
        return &kAccountLong;
    if (!isSafeAccountName(account))
        return &kAccountUnsafe;
    return nullptr;
}

// The encoded lines of one accepted row: columns 2 up to `columns`, empty cells skipped.
bool profileFileBytes(const Sheet& sheet, int row, int columns, std::string& bytes)
{
    for (int c = 2; c <= columns; ++c) {
        const std::string value = trimmed(sheet.cell(row, c));
        if (value.empty())
            continue;
        const std::string encoded =
            encodeProfileLine(profilePlainLine(profileColumns[static_cast<size_t>(c - 1)], value));
        if (encoded.empty())
            return false;
        bytes += encoded;
        bytes += "\r\n";
    }
    return true;
}

} // namespace

std::string profilePlainLine(std::string_view title, std::string_view value)
{
    std::string line;
    line.reserve(title.size() + value.size() + 4);
    line.append(title).append(" = ").append(value).append("\r");
    const std::string boxLine = toBox(line);
    return std::string(cutBoxBytes(boxLine, kMaxProfileLineBytes, boxEncoding()));
}

std::string encodeProfileLine(std::string_view line)
{
    EVP_CIPHER_CTX* ctx = profileCipher();
    if (!ctx || line.size() > static_cast<size_t>(INT32_MAX - 16))
        return {};
    std::string cipher(line.size() + 8, '\0');
    auto* out = reinterpret_cast<unsigned char*>(cipher.data());
    int len = 0;
    int tail = 0;
    if (EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, nullptr) != 1 ||
        EVP_EncryptUpdate(ctx, out, &len, reinterpret_cast<const unsigned char*>(line.data()),
                          static_cast<int>(line.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx, out + len, &tail) != 1)
        return {};
    const int cipherLen = len + tail;
    std::string text(static_cast<size_t>(4 * ((cipherLen + 2) / 3) + 1), '\0');
    const int textLen = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), out, cipherLen);
    text.resize(static_cast<size_t>(std::max(textLen, 0)));
    return text;
}

bool isSafeAccountName(std::string_view account)
{
    if (account.empty() || account == "." || account.find("..") != std::string_view::npos)
        return false;
    for (char ch : account) {
        const auto c = static_cast<unsigned char>(ch);
        // Separators and the characters FAT and NTFS refuse; brackets would break the section header.
        if (c < 0x20 || c == 0x7F || std::string_view("<>:\"/\\|?*[]").find(ch) != std::string_view::npos)
            return false;
    }
    static constexpr const char* kDevices[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                               "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                               "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    return std::none_of(std::begin(kDevices), std::end(kDevices),
                        [&](const char* d) { return sameIgnoringAsciiCase(account, d); });
}

int CreateUserProfile(const std::string& srcFile, const std::string& dstPath, const std::function<void(int)>& progress)
{
    return CreateUserProfile(srcFile, dstPath, progress, nullptr);
}

int CreateUserProfile(const std::string& srcFile, const std::string& dstPath, const std::function<void(int)>& progress,
                      std::string* readError)
{
    Logger& log = Logger::instance();
    std::error_code ec;
    if (srcFile.empty()) {
        log.error("srcFile empty at CreateUserProfile()");
        return ProfileSrcEmpty;
    }
    if (!fs::is_regular_file(srcFile, ec)) {
        log.error("srcFile:%s does not exist.", srcFile.c_str());
        return ProfileSrcMissing;
    }
    if (dstPath.empty()) {
        log.error("dstPath empty at CreateUserProfile()");
        return ProfileDstEmpty;
    }
    if (!fs::is_directory(dstPath, ec)) {
        log.error("dstPath:%s does not exist.", dstPath.c_str());
        return ProfileDstMissing;
    }

    // The whole sheet is read before anything is written, so an unreadable workbook leaves no output.
    Sheet sheet(static_cast<int>(profileColumns.size()));
    std::string reason;
    if (!readWorkbook(srcFile, sheet, reason)) {
        log.error("Workbook cannot be read.");
        log.error("Open workbook:%s failed, %s.", srcFile.c_str(), reason.c_str());
        if (readError)
            *readError = reason;
        return ProfileWorkbookUnreadable;
    }
    const int rows = sheet.rows();
    const int columns = std::min(sheet.columns(), static_cast<int>(profileColumns.size()));
    log.debug("User account templeate file row count:%d,col count:%d", rows, columns);
    if (rows < 1 || columns < 1) {
        log.error("Excel file is empty.");
        return ProfileNothingToGenerate;
    }

    const fs::path iniPath = fs::path(dstPath) / "account.ini";
    const bool iniExisted = fs::exists(fs::symlink_status(iniPath, ec));
    if (iniExisted && !makeWritable(iniPath)) {
        log.error("set :%s WRITE error.", iniPath.c_str());
        return ProfileIniNotWritable;
    }
    IniFile ini;
    if (!ini.loadBoxFile(iniPath.string())) {
        log.error("Read file:%s failed.", iniPath.c_str());
        setReadOnlyOrTrace(iniPath);
        return ProfileIniNotWritable;
    }

    for (int c = 1; c <= static_cast<int>(profileColumns.size()); ++c) {
        const std::string title = trimmed(sheet.cell(1, c));
        if (title != profileColumns[static_cast<size_t>(c - 1)]) {
            log.error("Title of exccel file is error, col:%d, %s!=%s", c, title.c_str(),
                      profileColumns[static_cast<size_t>(c - 1)]);
            if (iniExisted)
                setReadOnlyOrTrace(iniPath); // left as it was found
            return ProfileTitleWrong;
        }
    }

    std::string errors;
    int rejected = 0;
    int done = 0;
    for (int row = 2; row <= rows; ++row) {
        if (progress)
            progress(static_cast<int>(static_cast<long long>(row - 1) * 100 / (rows - 1)));
        const std::string user = trimmed(sheet.cell(row, 1));
        const std::string account = trimmed(sheet.cell(row, 2));
        const Rejection* rejection = checkRow(user, account);
        std::string bytes;
        fs::path cfgPath;
        if (!rejection) {
            cfgPath = fs::path(dstPath) / (account + ".cfg");
            static const Rejection kNotCreated{"config file cannot be created.",
                                               "Create config file failed at row %d in templeate file."};
            if (!profileFileBytes(sheet, row, columns, bytes) || !replaceFile(cfgPath, bytes, true))
                rejection = &kNotCreated;
        }
        if (rejection) {
            log.error(rejection->log, row);
            errors += "Error row:" + std::to_string(row) + ", error msg: " + rejection->text + "\r\n";
            ++rejected;
            continue;
        }
        ini.setValue(account, "user", user);
        ini.setValue(account, "initialize", "0");
        ++done;
    }
    if (progress)
        progress(0);

    bool iniSaved = true;
    if (ini.modified() && !replaceFile(iniPath, ini.boxText(), false)) {
        log.error("Write file:%s failed.", iniPath.c_str());
        iniSaved = false;
    }
    if (fs::exists(iniPath, ec))
        setReadOnlyOrTrace(iniPath);

    if (rejected > 0) {
        const fs::path errorPath = fs::path(dstPath) / "error.txt";
        if (!replaceFile(errorPath, textModeBytes(errors + "\n"), false))
            log.error("Write file:%s failed.", errorPath.c_str());
    }
    if (!iniSaved)
        return ProfileIniNotWritable;
    if (rejected > 0)
        return rejected;
    return done > 0 ? ProfileOk : ProfileNothingToGenerate;
}

std::string profileResultText(int result, const std::string& detail)
{
    if (result > 0)
        return loadUiString(468) + std::to_string(result) + loadUiString(469);
    switch (result) {
    case ProfileOk:
        return loadUiString(466);
    case ProfileSrcEmpty:
        return loadUiString(461);
    case ProfileSrcMissing:
        return loadUiString(462) + detail;
    case ProfileDstEmpty:
        return loadUiString(463);
    case ProfileDstMissing:
        return loadUiString(464) + detail;
    case ProfileWorkbookUnreadable:
        // No spreadsheet program is involved: the reader's own reason is what the user needs.
        return loadUiString(802) + (detail.empty() ? std::string("?") : detail);
    case ProfileNothingToGenerate:
        return loadUiString(474);
    case ProfileIniNotWritable:
        return loadUiString(475);
    case ProfileTitleWrong:
        return loadUiString(476);
    default:
        return loadUiString(467);
    }
}

} // namespace quillon
