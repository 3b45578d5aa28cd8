#include "WorkbookReader.h"

#include <orcus/format_detection.hpp>
#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

#include <exception>
#include <memory>
#include <stdexcept>

namespace quillon
{

namespace
{

namespace iface = orcus::spreadsheet::iface;
using orcus::spreadsheet::col_t;
using orcus::spreadsheet::row_t;

// Shared strings of the package; rich-text runs are joined into their plain text.
class SharedStrings : public iface::import_shared_strings
{
public:
    size_t append(std::string_view s) override
    {
        strings_.emplace_back(s);
        return strings_.size() - 1;
    }
    size_t add(std::string_view s) override { return append(s); }
    void set_segment_font(size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                                orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    {
    }
    void append_segment(std::string_view s) override { segments_ += s; }
    size_t commit_segments() override
    {
        const size_t index = append(segments_);
        segments_.clear();
        return index;
    }
    const std::string* get(size_t index) const { return index < strings_.size() ? &strings_[index] : nullptr; }

private:
    std::vector<std::string> strings_;
    std::string segments_;
};

class FirstSheet;

// The cached result of a formula is what the spreadsheet shows in its cell.
class FormulaResult : public iface::import_formula
{
public:
    explicit FormulaResult(FirstSheet& sheet) : sheet_(sheet) {}
    void set_position(row_t row, col_t col) override
    {
        row_ = row;
        col_ = col;
        value_.clear();
    }
    void set_formula(orcus::spreadsheet::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(size_t) override {}
    void set_result_string(std::string_view value) override { value_ = value; }
    void set_result_value(double value) override { value_ = formatCellNumber(value); }
    void set_result_bool(bool value) override { value_ = value ? "TRUE" : "FALSE"; }
    void set_result_empty() override { value_.clear(); }
    void commit() override;

private:
    FirstSheet& sheet_;
    row_t row_ = -1;
    col_t col_ = -1;
    std::string value_;
};

// Takes the cells of one sheet; string cells keep their index until the shared strings are complete.
class FirstSheet : public iface::import_sheet
{
public:
    FirstSheet(Sheet* target, const SharedStrings& strings) : target_(target), strings_(strings), formula_(*this) {}

    iface::import_formula* get_formula() override { return target_ ? &formula_ : nullptr; }
    void set_auto(row_t row, col_t col, std::string_view s) override { put(row, col, std::string(s)); }
    void set_string(row_t row, col_t col, orcus::spreadsheet::string_id_t sindex) override
    {
        if (target_ && inside(row, col))
            pending_.push_back({row, col, sindex});
    }
    void set_value(row_t row, col_t col, double value) override { put(row, col, formatCellNumber(value)); }
    void set_bool(row_t row, col_t col, bool value) override { put(row, col, value ? "TRUE" : "FALSE"); }
    void set_date_time(row_t row, col_t col, int year, int month, int day, int hour, int minute, double second) override
    {
        put(row, col, formatCellDateTime(year, month, day, hour, minute, second));
    }
    void set_format(row_t, col_t, size_t) override {}
    void set_format(row_t, col_t, row_t, col_t, size_t) override {}
    void fill_down_cells(row_t, col_t, row_t) override {}
    orcus::spreadsheet::range_size_t get_sheet_size() const override { return {kMaxSheetRows, kMaxSheetColumns}; }

    void put(row_t row, col_t col, std::string value)
    {
        if (target_ && inside(row, col))
            target_->set(row, col, std::move(value));
    }

    // Resolves the string cells; false when one names a string the package does not hold.
    bool finish()
    {
        for (const auto& p : pending_) {
            const std::string* s = strings_.get(p.index);
            if (!s)
                return false;
            target_->set(p.row, p.col, *s);
        }
        pending_.clear();
        return true;
    }

private:
    static bool inside(row_t row, col_t col)
    {
        return row >= 0 && col >= 0 && row < kMaxSheetRows && col < kMaxSheetColumns;
    }
    struct Pending {
        row_t row;
        col_t col;
        size_t index;
    };
    Sheet* target_; // null for the sheets after the first, whose cells are dropped
    const SharedStrings& strings_;
    FormulaResult formula_;
    std::vector<Pending> pending_;
};

void FormulaResult::commit()
{
    sheet_.put(row_, col_, std::move(value_));
    value_.clear();
}

// Cell addresses of the package ("B12", "$C$3", "A1:K20"); the reader places cells by them.
class A1Resolver : public iface::import_reference_resolver
{
public:
    orcus::spreadsheet::src_address_t resolve_address(std::string_view address) override
    {
        orcus::spreadsheet::src_address_t pos{0, 0, 0};
        size_t i = 0;
        if (i < address.size() && address[i] == '$')
            ++i;
        long col = 0;
        const size_t letters = i;
        for (; i < address.size() && address[i] >= 'A' && address[i] <= 'Z' && col <= kMaxSheetColumns; ++i)
            col = col * 26 + (address[i] - 'A' + 1);
        if (i < address.size() && address[i] == '$')
            ++i;
        long row = 0;
        const size_t digits = i;
        for (; i < address.size() && address[i] >= '0' && address[i] <= '9' && row <= kMaxSheetRows; ++i)
            row = row * 10 + (address[i] - '0');
        if (i == letters || i == digits || i != address.size() || col < 1 || row < 1 || col > kMaxSheetColumns ||
            row > kMaxSheetRows)
            throw std::invalid_argument("bad cell address");
        pos.row = static_cast<row_t>(row - 1);
        pos.column = static_cast<col_t>(col - 1);
        return pos;
    }
    orcus::spreadsheet::src_range_t resolve_range(std::string_view range) override
    {
        const size_t colon = range.find(':');
        const auto first = resolve_address(range.substr(0, colon));
        return {first, colon == std::string_view::npos ? first : resolve_address(range.substr(colon + 1))};
    }
};

class Factory : public iface::import_factory
{
public:
    explicit Factory(Sheet& sheet) : sheet_(sheet) {}

    iface::import_shared_strings* get_shared_strings() override { return &strings_; }
    iface::import_reference_resolver* get_reference_resolver(orcus::spreadsheet::formula_ref_context_t cxt) override
    {
        return cxt == orcus::spreadsheet::formula_ref_context_t::global ? &resolver_ : nullptr;
    }
    iface::import_sheet* append_sheet(orcus::spreadsheet::sheet_t index, std::string_view name) override
    {
        sheets_.push_back(std::make_unique<FirstSheet>(sheets_.empty() && index == 0 ? &sheet_ : nullptr, strings_));
        names_.emplace_back(name);
        return sheets_.back().get();
    }
    iface::import_sheet* get_sheet(std::string_view name) override
    {
        for (size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == name)
                return sheets_[i].get();
        }
        return nullptr;
    }
    iface::import_sheet* get_sheet(orcus::spreadsheet::sheet_t index) override
    {
        return index >= 0 && static_cast<size_t>(index) < sheets_.size() ? sheets_[static_cast<size_t>(index)].get()
                                                                         : nullptr;
    }
    void finalize() override {}

    bool finish() { return sheets_.empty() || sheets_.front()->finish(); }
    bool hasSheet() const { return !sheets_.empty(); }

private:
    Sheet& sheet_;
    SharedStrings strings_;
    A1Resolver resolver_;
    std::vector<std::unique_ptr<FirstSheet>> sheets_;
    std::vector<std::string> names_;
};

} // namespace

bool readOrcusWorkbook(const std::string& content, WorkbookFormat format, Sheet& sheet, std::string& error)
{
    try {
        const auto* bytes = reinterpret_cast<const unsigned char*>(content.data());
        const auto detected = orcus::detect(bytes, content.size());
        if (detected == orcus::format_t::ods)
            format = WorkbookFormat::Ods;
        else if (detected == orcus::format_t::xlsx)
            format = WorkbookFormat::Xlsx;
        else {
            error = "not a readable .xlsx or .ods workbook";
            return false;
        }
        Factory factory(sheet);
        if (format == WorkbookFormat::Ods) {
            orcus::orcus_ods filter(&factory);
            filter.read_stream(content);
        } else {
            orcus::orcus_xlsx filter(&factory);
            filter.read_stream(content);
        }
        if (!factory.hasSheet()) {
            error = "the workbook has no sheet";
            return false;
        }
        if (!factory.finish()) {
            error = "a cell names a missing shared string";
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        error = std::string("not a readable workbook: ") + e.what();
    } catch (...) {
        error = "not a readable workbook";
    }
    return false;
}

} // namespace quillon
