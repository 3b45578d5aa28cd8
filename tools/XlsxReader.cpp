#include "WorkbookReader.h"
#include "XlsxPackage.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <type_traits>
#include <stdexcept>

namespace quillon
{

namespace
{

struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One XML part, seen through element and attribute names without their prefixes: writers differ
// in the prefixes they use. A part that ends before its root element closes is refused. The
// parts are parsed with expat, which refuses malformed references (a character beyond U+10FFFF
// among them) as errors and is fuzzed continuously upstream.
class XmlPart
{
public:
    explicit XmlPart(const XlsxLimits& limits) : limits_(limits) {}
    virtual ~XmlPart() = default;

    void parse(const std::vector<unsigned char>& bytes, const std::string& name)
    {
        std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
            XML_ParserCreate(nullptr), &XML_ParserFree);
        if (!parser)
            throw Refused("out of memory for the part " + name);
        XML_SetUserData(parser.get(), this);
        XML_SetElementHandler(parser.get(), &XmlPart::onStart, &XmlPart::onEnd);
        XML_SetCharacterDataHandler(parser.get(), &XmlPart::onText);
        XML_SetStartDoctypeDeclHandler(parser.get(), &XmlPart::onDoctype);
        parser_ = parser.get();
        // The NUL behind the part is not XML, nor is zip padding some writers leave at its end.
        size_t length = bytes.size();
        while (length > 0 && bytes[length - 1] == 0)
            --length;
        const XML_Status status =
            XML_Parse(parser.get(), reinterpret_cast<const char*>(bytes.data()), static_cast<int>(length), XML_TRUE);
        parser_ = nullptr;
        if (!failure_.empty())
            throw Refused(failure_);
        if (status != XML_STATUS_OK)
            throw Refused("the part " + name + " is not well-formed XML: " +
                          XML_ErrorString(XML_GetErrorCode(parser.get())) + " at line " +
                          std::to_string(XML_GetCurrentLineNumber(parser.get())) + ", column " +
                          std::to_string(XML_GetCurrentColumnNumber(parser.get())));
        if (!rootClosed_)
            throw Refused("the part " + name + " ends early");
    }

private:
    static std::string_view local(const XML_Char* name)
    {
        const std::string_view full(name);
        const size_t colon = full.rfind(':');
        return colon == std::string_view::npos ? full : full.substr(colon + 1);
    }
    // A handler's exception must not cross expat's C frames: the first one stops the parser and
    // is thrown again once XML_Parse has returned.
    template <typename F>
    static void guarded(void* self, F step)
    {
        auto* part = static_cast<XmlPart*>(self);
        if (!part->failure_.empty())
            return;
        try {
            step(*part);
        } catch (const std::exception& e) {
            part->failure_ = e.what();
            XML_StopParser(part->parser_, XML_FALSE);
        }
    }
    static void XMLCALL onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        guarded(self, [](XmlPart&) { throw Refused("a part declares a document type"); });
    }
    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        guarded(self, [&](XmlPart& part) {
            part.attributes_.clear();
            for (int i = 0; attributes[i] && attributes[i + 1] && part.attributes_.size() < 64; i += 2)
                part.attributes_.emplace_back(local(attributes[i]), std::string_view(attributes[i + 1]));
            part.startElement(local(name));
            part.attributes_.clear();
        });
    }
    static void XMLCALL onEnd(void* self, const XML_Char* name)
    {
        guarded(self, [&](XmlPart& part) { part.endElement(local(name)); });
    }
    static void XMLCALL onText(void* self, const XML_Char* text, int length)
    {
        guarded(self, [&](XmlPart& part) {
            const std::string_view value(text, static_cast<size_t>(std::max(length, 0)));
            if (part.inRun_)
                part.append(part.runs_, value);
            part.text(value);
        });
    }

    void startElement(std::string_view name)
    {
        ++depth_;
        if (name == "rPh")
            ++phonetic_;
        else if (name == "t")
            inRun_ = phonetic_ == 0;
        open(name);
    }
    void endElement(std::string_view name)
    {
        if (name == "rPh")
            --phonetic_;
        else if (name == "t")
            inRun_ = false;
        close(name);
        rootClosed_ = --depth_ == 0;
    }

protected:
    virtual void open(std::string_view) {}
    virtual void close(std::string_view) {}
    virtual void text(std::string_view) {}

    // Attribute of the element being opened; valid only inside open().
    std::string_view attr(std::string_view name) const
    {
        for (const auto& [key, value] : attributes_) {
            if (key == name)
                return value;
        }
        return {};
    }

    void append(std::string& to, std::string_view value) const
    {
        if (value.size() > limits_.textBytes - std::min<size_t>(to.size(), limits_.textBytes))
            throw Refused("a text is longer than a cell can hold");
        to += value;
    }

    const XlsxLimits& limits_;
    std::string runs_; // text runs (<t>) since the subclass last cleared it, phonetic guides left out

private:
    XML_Parser parser_ = nullptr;
    std::string failure_;
    std::vector<std::pair<std::string_view, std::string_view>> attributes_;
    int depth_ = 0;
    int phonetic_ = 0;
    bool inRun_ = false;
    bool rootClosed_ = false;
};

// Part names in relationships are absolute ("/xl/worksheets/sheet1.xml") or relative to the folder
// of the part that holds them ("worksheets/sheet1.xml"); empty when the name climbs out.
std::string resolvePart(const std::string& folder, std::string_view target)
{
    const std::string path =
        !target.empty() && target[0] == '/' ? std::string(target.substr(1)) : folder + std::string(target);
    std::vector<std::string_view> names;
    for (size_t begin = 0; begin <= path.size();) {
        size_t slash = path.find('/', begin);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string_view name(path.data() + begin, slash - begin);
        if (name == "..") {
            if (names.empty())
                return {};
            names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        begin = slash + 1;
    }
    std::string out;
    for (const auto name : names)
        out.append(out.empty() ? "" : "/").append(name);
    return out;
}

class Relationships : public XmlPart
{
public:
    using XmlPart::XmlPart;
    std::string byId(std::string_view id) const { return find(id, ""); }
    std::string byType(std::string_view suffix) const { return find("", suffix); }

private:
    void open(std::string_view name) override
    {
        if (name == "Relationship" && attr("TargetMode") != "External" && links_.size() < 0xFFFF)
            links_.push_back({std::string(attr("Id")), std::string(attr("Type")), std::string(attr("Target"))});
    }
    std::string find(std::string_view id, std::string_view type) const
    {
        for (const auto& link : links_) {
            if (id.empty() ? link.type.ends_with(type) : link.id == id)
                return link.target;
        }
        return {};
    }
    struct Link {
        std::string id, type, target;
    };
    std::vector<Link> links_;
};

class Workbook : public XmlPart
{
public:
    using XmlPart::XmlPart;
    std::string firstSheet; // relationship id of the first sheet

private:
    void open(std::string_view name) override
    {
        if (name == "sheet" && firstSheet.empty())
            firstSheet = attr("id"); // r:id; the sheet's other attributes have other names
    }
};

// Each string item's text runs joined.
class SharedStrings : public XmlPart
{
public:
    using XmlPart::XmlPart;
    std::vector<std::string> items;

private:
    void open(std::string_view name) override
    {
        if (name == "si")
            runs_.clear();
    }
    void close(std::string_view name) override
    {
        if (name != "si")
            return;
        if (items.size() >= limits_.cells)
            throw Refused("the package holds more strings than the tool reads");
        items.push_back(std::move(runs_));
        runs_.clear();
    }
};

// Digits of a row number, or letters and digits of a cell address ("B3"), counted from 0.
bool parseAddress(std::string_view text, bool withColumn, int32_t& row, int32_t& column)
{
    size_t i = 0;
    int64_t col = 0;
    int64_t r = 0;
    for (; withColumn && i < text.size() && text[i] >= 'A' && text[i] <= 'Z' && col <= kMaxSheetColumns; ++i)
        col = col * 26 + (text[i] - 'A' + 1);
    const size_t letters = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && r <= kMaxSheetRows; ++i)
        r = r * 10 + (text[i] - '0');
    if ((withColumn && (letters == 0 || col > kMaxSheetColumns)) || i == letters || i != text.size() || r < 1 ||
        r > kMaxSheetRows)
        return false;
    row = static_cast<int32_t>(r - 1);
    column = static_cast<int32_t>(col - 1);
    return true;
}

class SheetPart : public XmlPart
{
public:
    SheetPart(const XlsxLimits& limits, const std::vector<std::string>& strings, Sheet& target)
        : XmlPart(limits), strings_(strings), target_(target)
    {
    }

private:
    void open(std::string_view name) override
    {
        if (name == "sheetData") {
            inData_ = true;
        } else if (inData_ && name == "row") {
            const auto r = attr("r");
            int32_t unused = 0;
            if (r.empty() ? ++row_ >= kMaxSheetRows : !parseAddress(r, false, row_, unused))
                throw Refused("a row has a bad number");
            column_ = 0;
        } else if (inData_ && name == "c") {
            const auto ref = attr("r");
            cellRow_ = row_ < 0 ? 0 : row_; // a cell outside any row is on the first
            cellColumn_ = column_;
            if (!ref.empty() && !parseAddress(ref, true, cellRow_, cellColumn_))
                throw Refused("a cell has a bad address");
            if (cellColumn_ >= kMaxSheetColumns)
                throw Refused("a row has more cells than a sheet can hold");
            type_ = attr("t");
            value_.clear();
            runs_.clear();
        } else if (name == "v") {
            inValue_ = true;
        }
    }
    void close(std::string_view name) override
    {
        if (name == "v") {
            inValue_ = false;
        } else if (name == "sheetData") {
            inData_ = false;
        } else if (inData_ && name == "c") {
            store();
            column_ = cellColumn_ + 1;
        }
    }
    void text(std::string_view value) override
    {
        if (inValue_)
            append(value_, value);
    }

    // The cell as a spreadsheet shows it, by its type ("n" when none is given).
    void store()
    {
        std::string shown;
        if (type_ == "s") {
            const std::string index = trimmed(value_);
            size_t i = 0;
            const auto [end, ec] = std::from_chars(index.data(), index.data() + index.size(), i);
            if (ec != std::errc() || end != index.data() + index.size() || i >= strings_.size())
                throw Refused("a cell names a missing shared string");
            shown = strings_[i];
        } else if (type_ == "inlineStr") {
            shown = std::move(runs_);
        } else if (type_ == "b") {
            shown = value_ == "1" ? "TRUE" : value_ == "0" ? "FALSE" : value_;
        } else if (type_ == "str" || type_ == "e" || type_ == "d") {
            shown = std::move(value_);
        } else if (type_.empty() || type_ == "n") {
            const std::string number = trimmed(value_);
            double v = 0;
            const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v);
            if (!number.empty() && (ec != std::errc() || end != number.data() + number.size()))
                throw Refused("a number cell holds text");
            if (!number.empty())
                shown = formatCellNumber(v);
        } else {
            throw Refused("a cell has an unknown type");
        }
        if (shown.empty())
            return;
        if (++cells_ > limits_.cells)
            throw Refused("the sheet has more cells than the tool reads");
        target_.set(cellRow_, cellColumn_, std::move(shown));
    }

    const std::vector<std::string>& strings_;
    Sheet& target_;
    int32_t row_ = -1, column_ = 0, cellRow_ = 0, cellColumn_ = 0;
    std::string type_, value_;
    bool inData_ = false, inValue_ = false;
    uint64_t cells_ = 0;
};

} // namespace

bool readXlsxWorkbook(const std::string& content, Sheet& sheet, std::string& error, const XlsxLimits& limits)
{
    sheet.clear();
    try {
        XlsxPackage package(content, limits);
        if (!package.has("[Content_Types].xml"))
            throw Refused("the zip file is not an .xlsx package");
        Relationships root(limits);
        root.parse(package.part("_rels/.rels"), "_rels/.rels");
        const std::string bookName = resolvePart("", root.byType("/officeDocument"));
        if (bookName.empty())
            throw Refused("the package names no workbook");
        Workbook book(limits);
        book.parse(package.part(bookName), bookName);
        if (book.firstSheet.empty())
            throw Refused("the workbook has no sheet");

        const std::string folder = bookName.substr(0, bookName.rfind('/') + 1); // "" when at the top
        const std::string relsName = folder + "_rels/" + bookName.substr(folder.size()) + ".rels";
        Relationships rels(limits);
        rels.parse(package.part(relsName), relsName);
        const std::string sheetName = resolvePart(folder, rels.byId(book.firstSheet));
        if (sheetName.empty())
            throw Refused("the first sheet has no part");
        SharedStrings strings(limits);
        const std::string stringsTarget = rels.byType("/sharedStrings");
        if (!stringsTarget.empty()) {
            const std::string stringsName = resolvePart(folder, stringsTarget);
            strings.parse(package.part(stringsName), stringsName);
        }
        SheetPart first(limits, strings.items, sheet);
        first.parse(package.part(sheetName), sheetName);
        return true;
    } catch (const std::exception& e) {
        error = std::string("not a readable .xlsx workbook: ") + e.what();
    }
    sheet.clear();
    return false;
}

} // namespace quillon
