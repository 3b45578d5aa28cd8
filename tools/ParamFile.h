#pragma once

#include <ConfigInfo.h>

#include <string>

namespace quillon
{

// The text of a configuration value in a parameter file that holds every key: unset values are
// empty, the time zone is in hours, a line break inside a value becomes a blank.
std::string configValueText(int index, const ConfigInfo& c);

// "[stb]" and "KEY = VALUE" for all 38 configuration keys in wire order, lines ended by "\n".
// The import reads it back to the same record (see paramValueKeptExactly).
std::string fullParamFileText(const ConfigInfo& c);

// The export of an Android box, which has no parameter list of its own: "[stb]" and the keys the
// export writes, lines ended by "\n".
std::string paramFileText(const ConfigInfo& c);

// Writes paramFileText to `fileName` with CR LF line ends. False (logged as "open file
// failed:%s") when the file cannot be written; an empty name writes nothing and gives false.
bool writeParamFile(const std::string& fileName, const ConfigInfo& c);

// Whether a text value comes back unchanged from a parameter file: the import trims blanks, cuts
// long values and cannot hold a line break.
bool paramValueKeptExactly(const std::string& value);

} // namespace quillon
