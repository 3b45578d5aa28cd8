#pragma once

#include <ConfigInfo.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quillon
{

class IniFile;

// What a parameter file yields: the values, the messages for the user (in the order the keys are
// checked), and per configuration key (index into kConfigKeys) whether the file has a line for it
// and whether its value was refused.
struct ParamImport {
    ConfigInfo config;
    std::vector<std::string> messages;
    std::array<bool, kConfigKeyCount> present{};
    std::array<bool, kConfigKeyCount> invalid{};

    // The messages, each followed by a line feed, as the window shows them together.
    std::string messageText() const;
};

// Longest value taken from a parameter file; the rest of a longer value is cut off.
constexpr size_t kParamValueMax = 2047;

enum class ValueCheck { Ok, Missing, Invalid };
struct ValueCheckResult {
    ValueCheck outcome = ValueCheck::Ok;
    std::string message; // for the user; empty when the rule only logs a warning
};

// Checks `value` with the import rule of configuration key `index` and, when it is accepted,
// stores it in `config`. A missing, empty or "null" value of a checked key leaves the field unset
// (Missing); a refused value gives Invalid and its message. Warnings and messages are logged.
ValueCheckResult importConfigValue(int index, std::string_view value, ConfigInfo& config);

// Whether configuration key `index` is checked by a rule (as opposed to copied as read).
bool configKeyIsChecked(int index);

// Reads every key of section "stb", in the order of the import, and checks it.
ParamImport importParams(const IniFile& ini);
ParamImport importParamsText(std::string_view text);

// Largest parameter file read; a box's whole parameter list is far smaller.
constexpr size_t kParamFileMax = 64u << 20;

// Reads and checks the parameter file `path`. False with the reason when it is not a readable
// regular file of at most kParamFileMax bytes.
bool loadParamFile(const std::string& path, ParamImport& result, std::string& error);

} // namespace quillon
