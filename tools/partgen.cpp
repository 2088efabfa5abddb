// Build-time generator: turns the catalogue (data/parts.csv, data/name_aliases.csv), the
// CONFIG bit tables (data/config_labels.csv, data/bit_table_layouts.csv) and the word-layout
// editor sections (data/config_editors.csv) into one compiled C++ source file. Refuses
// malformed or inconsistent data with a message and exit 1: the rows must agree with
// themselves (page counts with addresses, presence flags with sizes), a part's layout columns
// must name bit tables and a decoding that read labelled bits, and every word layout needs a
// well-formed editor.
//
// usage: tarnel-partgen PARTS.csv ALIASES.csv LABELS.csv LAYOUTS.csv EDITORS.csv OUT.cpp

#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kRows = 1104;

// Columns in PartRecord order, and how each is emitted.
enum class Kind { Text, Flag, Number };
struct Column {
    const char* name;
    Kind kind;
};
const std::vector<Column> kColumns = {
    {"partNumber", Kind::Text},
    {"legacyConfig", Kind::Flag},
    {"is32Bit", Kind::Flag},
    {"isLark", Kind::Flag},
    {"isWren", Kind::Flag},
    {"isTeal", Kind::Flag},
    {"isTern", Kind::Flag},
    {"isPike", Kind::Flag},
    {"isSonra", Kind::Flag},
    {"isTQ17A", Kind::Flag},
    {"algoFlag", Kind::Number},
    {"hasDataFlash", Kind::Flag},
    {"hasLdrom", Kind::Flag},
    {"legacyChipCode", Kind::Number},
    {"apromLastAddress", Kind::Number},
    {"apromPages", Kind::Number},
    {"dataFlashStartPage", Kind::Number},
    {"dataFlashStart", Kind::Number},
    {"dataFlashSize", Kind::Number},
    {"ldromLastAddress", Kind::Number},
    {"dataFlashInAprom", Kind::Flag},
    {"algoParamA", Kind::Number},
    {"algoParamB", Kind::Number},
    {"deviceId", Kind::Number},
    {"algoParamC", Kind::Number},
    {"algoParamD", Kind::Number},
    {"config0Layout", Kind::Number},
    {"config1Layout", Kind::Number},
};
const char* const kClockColumns[4] = {"clockSource0", "clockSource1", "clockSource2",
                                      "clockSource3"};

[[noreturn]] void fail(const std::string& file, std::size_t line, const std::string& what) {
    std::cerr << file << ":" << line << ": " << what << "\n";
    std::exit(1);
}

// Fields split at commas; a field in double quotes may hold commas (the quotes are not part
// of the text, and a text never holds a quote).
std::vector<std::string> splitLine(const std::string& line, const std::string& file,
                                   std::size_t lineNo) {
    std::vector<std::string> fields;
    std::string field;
    enum { Plain, Open, Closed } quote = Plain;
    for (char c : line) {
        if (c == '\\')
            fail(file, lineNo, "backslashes are not allowed");
        if (c == '"') {
            if (quote == Plain && field.empty())
                quote = Open;
            else if (quote == Open)
                quote = Closed;
            else
                fail(file, lineNo, "a quote may only enclose a whole field");
        } else if (c == ',' && quote != Open) {
            fields.push_back(field);
            field.clear();
            quote = Plain;
        } else if (quote == Closed) {
            fail(file, lineNo, "text after a closing quote");
        } else if (c != '\r') {
            field += c;
        }
    }
    if (quote == Open)
        fail(file, lineNo, "unterminated quote");
    fields.push_back(field);
    return fields;
}

std::vector<std::vector<std::string>> readCsv(const std::string& file,
                                              std::map<std::string, std::size_t>& header) {
    std::ifstream in(file);
    if (!in)
        fail(file, 0, "cannot be opened");
    std::string line;
    std::vector<std::vector<std::string>> rows;
    std::size_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        auto fields = splitLine(line, file, lineNo);
        if (lineNo == 1) {
            for (std::size_t i = 0; i < fields.size(); ++i)
                header[fields[i]] = i;
            continue;
        }
        if (line.empty())
            continue;
        if (fields.size() != header.size()) {
            fail(file, lineNo,
                 "expected " + std::to_string(header.size()) + " fields, found " +
                     std::to_string(fields.size()));
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

unsigned long parseNumber(const std::string& text, const std::string& file, std::size_t line,
                          const char* column) {
    if (text.empty())
        fail(file, line, std::string("empty value in column ") + column);
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0')
        fail(file, line, std::string("bad number '") + text + "' in " + column);
    return value;
}

std::size_t columnIndex(const std::map<std::string, std::size_t>& header, const char* name,
                        const std::string& file) {
    auto it = header.find(name);
    if (it == header.end())
        fail(file, 1, std::string("missing column ") + name);
    return it->second;
}

// A CSV file with its header, read whole; fields are looked up by column name.
struct Table {
    std::string file;
    std::map<std::string, std::size_t> header;
    std::vector<std::vector<std::string>> rows;

    explicit Table(const std::string& path) : file(path) { rows = readCsv(path, header); }
    const std::string& text(std::size_t row, const char* column) const {
        return rows[row][columnIndex(header, column, file)];
    }
    unsigned long number(std::size_t row, const char* column) const {
        return parseNumber(text(row, column), file, row + 2, column);
    }
    [[noreturn]] void refuse(std::size_t row, const std::string& what) const {
        fail(file, row + 2, what);
    }
};

std::vector<std::string> splitTexts(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', from)) {
        parts.push_back(text.substr(from, bar - from));
        from = bar + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

// ---- CONFIG bit tables -------------------------------------------------------------------

constexpr std::size_t kLayouts = 8;
struct Label {
    std::string name, text0, text1;
    bool seen = false;
};
using LabelTables = std::array<std::array<std::array<Label, 8>, kLayouts>, 2>;  // word, layout, bit

LabelTables readLabels(const std::string& path) {
    const Table t(path);
    LabelTables labels;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const unsigned long word = t.number(r, "word"), layout = t.number(r, "layout"),
                            bit = t.number(r, "bit");
        if (word > 1 || layout >= kLayouts || bit > 7)
            t.refuse(r, "word 0..1, layout 0..7 and bit 0..7 expected");
        Label& label = labels[word][layout][bit];
        if (label.seen)
            t.refuse(r, "this bit is labelled twice");
        label = {t.text(r, "name"), t.text(r, "text0"), t.text(r, "text1"), true};
        if (label.name.empty() && !(label.text0.empty() && label.text1.empty()))
            t.refuse(r, "a bit without a name has no value texts");
    }
    for (const auto& word : labels)
        for (const auto& layout : word)
            for (const Label& label : layout)
                if (!label.seen)
                    fail(path, 0, "every word, layout and bit needs a label");
    return labels;
}

// A field of the bit-table decoder: `count` texts (2 or 4) chosen by the bits from `shift`.
struct Field {
    unsigned long word = 0, shift = 0;
    std::vector<std::string> texts;
};
struct Decoding {
    unsigned long config0Layout = 0, config1Layout = 0;
    Field osc, brownOut;  // osc.texts empty: the catalogue's text stands
};

// A field must read bits whose labels carry the given name prefix; a one-bit field's texts
// must contain the label's value texts.
Field readField(const Table& t, std::size_t r, const char* word, const char* shift,
                const char* texts, const LabelTables& labels, unsigned long layouts[2],
                const std::vector<std::string>& names) {
    Field f;
    f.texts = splitTexts(t.text(r, texts));
    f.word = t.number(r, word);
    f.shift = t.number(r, shift);
    const unsigned long width = f.texts.size() == 2 ? 1 : f.texts.size() == 4 ? 2 : 0;
    if (f.word > 1 || width == 0 || f.shift + width > 8)
        t.refuse(r, std::string(texts) + ": word 0..1 and 2 or 4 texts within the byte expected");
    for (unsigned long bit = f.shift; bit < f.shift + width; ++bit) {
        const Label& label = labels[f.word][layouts[f.word]][bit];
        bool named = false;
        for (const std::string& name : names)
            named = named || label.name.rfind(name, 0) == 0;
        if (!named)
            t.refuse(r, std::string(texts) + " reads bit " + std::to_string(bit) + " labelled \"" +
                            label.name + "\"");
        if (width == 1 && (f.texts[0].find(label.text0) == std::string::npos ||
                           f.texts[1].find(label.text1) == std::string::npos))
            t.refuse(r,
                     std::string(texts) + " disagree with the label of bit " + std::to_string(bit));
    }
    return f;
}

std::vector<Decoding> readDecodings(const std::string& path, const LabelTables& labels) {
    const Table t(path);
    std::vector<Decoding> decodings;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        Decoding d;
        d.config0Layout = t.number(r, "config0Layout");
        d.config1Layout = t.number(r, "config1Layout");
        if (d.config0Layout == 0 || d.config0Layout >= kLayouts || d.config1Layout == 0 ||
            d.config1Layout >= kLayouts)
            t.refuse(r, "layouts 1..7 expected");
        for (const Decoding& other : decodings)
            if (other.config0Layout == d.config0Layout && other.config1Layout == d.config1Layout)
                t.refuse(r, "this pair of layouts is described twice");
        unsigned long layouts[2] = {d.config0Layout, d.config1Layout};
        if (!t.text(r, "oscTexts").empty())
            d.osc = readField(t, r, "oscWord", "oscShift", "oscTexts", labels, layouts, {"FS"});
        d.brownOut = readField(t, r, "brownOutWord", "brownOutShift", "brownOutTexts", labels,
                               layouts, {"BOV", "CBOV"});
        decodings.push_back(d);
    }
    return decodings;
}

// What every row must agree with: page counts with addresses, presence flags with sizes, and
// layout columns with the bit tables.
void checkRow(const Table& t, std::size_t r, const std::vector<Decoding>& decodings) {
    // Family flags: the 32-bit families under is32Bit, the 8051 ones outside it, one each.
    const auto flag = [&](const char* column) { return t.number(r, column) != 0; };
    const int wordFamilies = flag("isLark") + flag("isWren") + flag("isTeal") + flag("isSonra");
    const int byteFamilies = flag("legacyConfig") + flag("isTern") + flag("isTQ17A");
    if (wordFamilies > 1 || byteFamilies > 1 || flag("isTern") + flag("isPike") > 1)
        t.refuse(r, "a part belongs to one family");
    if (flag("is32Bit") ? byteFamilies + flag("isPike") > 0 : wordFamilies > 0)
        t.refuse(r, "family flags disagree with is32Bit");

    // Brown-out levels replace a Kite-family editor's voltages: a Lark part needs them, and
    // only a 32-bit part without a layout of its own may carry them.
    const std::string& levels = t.text(r, "brownOutLevels");
    if (!levels.empty()) {
        for (const char* family : {"legacyConfig", "isWren", "isTeal", "isSonra"})
            if (flag(family))
                t.refuse(r, std::string("brown-out levels on a part with its own layout (") +
                                family + ")");
        if (!flag("is32Bit"))
            t.refuse(r, "brown-out levels belong to 32-bit parts");
        const std::vector<std::string> texts = splitTexts(levels);
        if (texts.size() != 4)
            t.refuse(r, "four brown-out levels expected");
        for (const std::string& text : texts)
            if (text.size() < 2 || text.back() != 'V')
                t.refuse(r, "a brown-out level reads like 4.5V");
    } else if (flag("isLark")) {
        t.refuse(r, "a Lark part needs its brown-out levels");
    }
    const std::string& number = t.text(r, "partNumber");
    if (number.empty() || number == "-") {
        for (const char* column : {"apromLastAddress", "dataFlashStart", "dataFlashSize",
                                   "ldromLastAddress", "deviceId"})
            if (t.number(r, column) != 0)
                t.refuse(r, std::string("a separator or empty row has no ") + column);
        return;
    }
    if (flag("isTeal") && number.size() > 10 && number[10] != 'A' && number[10] != 'B')
        t.refuse(r, "a Teal part number names revision A or B at position 10");
    const unsigned long aprom = t.number(r, "apromLastAddress") + 1;
    if (flag("dataFlashInAprom") && !flag("hasDataFlash"))
        t.refuse(r, "DataFlash inside APROM needs hasDataFlash");
    if ((flag("isWren") || flag("isTeal")) &&
        (!flag("dataFlashInAprom") || t.number(r, "dataFlashStart") != aprom - 512 ||
         t.number(r, "dataFlashSize") != aprom - 512))
        t.refuse(r, "a Wren or Teal part has its DataFlash in APROM from one page below its end");
    if (t.number(r, "apromPages") != 0 && (!flag("hasDataFlash") || flag("dataFlashInAprom")))
        t.refuse(r, "a paged part has a DataFlash of its own");
    const unsigned long apromPages = t.number(r, "apromPages");
    if (apromPages != 0 && apromPages * 256 != t.number(r, "apromLastAddress") + 1)
        t.refuse(r, "apromPages does not match apromLastAddress");
    const unsigned long startPage = t.number(r, "dataFlashStartPage");
    if (startPage != 0 && startPage * 256 != t.number(r, "dataFlashStart"))
        t.refuse(r, "dataFlashStartPage does not match dataFlashStart");
    if ((t.number(r, "hasDataFlash") != 0) != (t.number(r, "dataFlashSize") != 0))
        t.refuse(r, "hasDataFlash does not match dataFlashSize");
    if ((t.number(r, "hasLdrom") != 0) != (t.number(r, "ldromLastAddress") != 0))
        t.refuse(r, "hasLdrom does not match ldromLastAddress");

    const unsigned long c0 = t.number(r, "config0Layout"), c1 = t.number(r, "config1Layout");
    const bool clockTexts = !t.text(r, "clockSource0").empty();
    if (c0 == 0 && c1 == 0) {
        if (clockTexts)
            t.refuse(r, "clock texts belong to parts with a bit table");
        return;
    }
    bool described = false;
    for (const Decoding& d : decodings)
        described = described || (d.config0Layout == c0 && d.config1Layout == c1);
    if (!described)
        t.refuse(r, "no decoding for layouts " + std::to_string(c0) + "/" + std::to_string(c1));
    for (const char* family :
         {"legacyConfig", "is32Bit", "isWren", "isTeal", "isTern", "isPike", "isSonra"})
        if (t.number(r, family) != 0)
            t.refuse(r, std::string("a bit table on a part with its own layout (") + family + ")");
    for (const char* column : kClockColumns)
        if (t.text(r, column).empty())
            t.refuse(r, std::string("a bit-table part needs ") + column);
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// ---- Word-layout editors -----------------------------------------------------------------

const char* const kWordLayouts[] = {"Kite", "KiteU", "Wren", "TealA", "TealB", "Sonra"};
const char* const kRoles[] = {"Plain", "DataFlash", "SizeMode", "Ldrom"};

struct Bits {
    unsigned long bitLow = 0, width = 0, value = 0;
};
struct EditorRow {
    std::string layout, title, role, caption;
    unsigned long section = 0;
    long enabledBy = -1;
    bool partLevels = false;
    Bits writes, match;
};

// "LOW:WIDTH=VALUE": bits LOW..LOW+WIDTH-1 of the CONFIG0 word hold VALUE.
Bits parseBits(const Table& t, std::size_t r, const char* column) {
    const std::string& text = t.text(r, column);
    const std::size_t colon = text.find(':'), equals = text.find('=');
    if (colon == std::string::npos || equals == std::string::npos || equals < colon)
        t.refuse(r, std::string(column) + ": LOW:WIDTH=VALUE expected");
    Bits b;
    b.bitLow = parseNumber(text.substr(0, colon), t.file, r + 2, column);
    b.width = parseNumber(text.substr(colon + 1, equals - colon - 1), t.file, r + 2, column);
    b.value = parseNumber(text.substr(equals + 1), t.file, r + 2, column);
    if (b.width == 0 || b.width > 8 || b.bitLow / 8 != (b.bitLow + b.width - 1) / 8 ||
        b.bitLow + b.width > 32 || b.value >= (1ul << b.width))
        t.refuse(r, std::string(column) + ": a value within one byte of the word expected");
    return b;
}

// Each word layout needs sections numbered 0, 1, ... whose radios agree on the section's
// title, role and enabling section (an earlier one), with at most one fallback radio, and
// exactly one DataFlash section.
std::vector<EditorRow> readEditors(const std::string& path) {
    const Table t(path);
    std::vector<EditorRow> rows;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        EditorRow e;
        e.layout = t.text(r, "layout");
        e.section = t.number(r, "section");
        e.title = t.text(r, "title");
        e.role = t.text(r, "role");
        e.caption = t.text(r, "caption");
        if (!t.text(r, "enabledBy").empty())
            e.enabledBy = static_cast<long>(t.number(r, "enabledBy"));
        const unsigned long levels = t.number(r, "partLevels");
        e.partLevels = levels == 1;
        e.writes = parseBits(t, r, "writes");
        const std::string& match = t.text(r, "match");
        e.match = match.empty() ? e.writes : match == "-" ? Bits{} : parseBits(t, r, "match");

        bool known = false;
        for (const char* layout : kWordLayouts)
            known = known || e.layout == layout;
        if (!known)
            t.refuse(r, "unknown word layout '" + e.layout + "'");
        bool role = false;
        for (const char* name : kRoles)
            role = role || e.role == name;
        if (!role || levels > 1 || e.title.empty() || e.caption.empty())
            t.refuse(r, "a title, a caption, a known role and partLevels 0 or 1 expected");

        const EditorRow* previous = rows.empty() ? nullptr : &rows.back();
        const bool sameLayout = previous != nullptr && previous->layout == e.layout;
        if (sameLayout && previous->section == e.section) {
            if (previous->title != e.title || previous->role != e.role ||
                previous->enabledBy != e.enabledBy || previous->partLevels != e.partLevels)
                t.refuse(r, "the radios of a section disagree on its title, role or enabling");
        } else {
            if (e.section != (sameLayout ? previous->section + 1 : 0))
                t.refuse(r, "sections are numbered from 0 in order");
            for (const EditorRow& other : rows)
                if (other.layout == e.layout && other.section == e.section)
                    t.refuse(r, "a layout's rows must be together");
        }
        if (e.enabledBy >= static_cast<long>(e.section))
            t.refuse(r, "a section is enabled by an earlier one");
        if (e.match.width == 0)
            for (const EditorRow& other : rows)
                if (other.layout == e.layout && other.section == e.section &&
                    other.match.width == 0)
                    t.refuse(r, "a section has one fallback radio at most");
        rows.push_back(e);
    }
    for (const char* layout : kWordLayouts) {
        std::map<unsigned long, bool> dataFlashSections;
        for (const EditorRow& e : rows)
            if (e.layout == layout && e.role == "DataFlash")
                dataFlashSections[e.section] = true;
        if (dataFlashSections.size() != 1)
            fail(path, 0, std::string(layout) + " needs one DataFlash section");
    }
    // A section whose captions the part's brown-out levels replace needs four radios.
    for (const EditorRow& e : rows) {
        if (!e.partLevels)
            continue;
        int radios = 0;
        for (const EditorRow& other : rows)
            radios += other.layout == e.layout && other.section == e.section;
        if (radios != 4)
            fail(path, 0, e.layout + " " + e.title + ": brown-out levels need four radios");
    }
    return rows;
}

void emitBits(std::ostringstream& out, const Bits& b) {
    out << "{" << b.bitLow << ", " << b.width << ", " << b.value << "}";
}

void emitEditors(std::ostringstream& out, const std::vector<EditorRow>& rows) {
    out << "namespace {\nconstexpr WordEditorRow kWordEditorRows[] = {\n";
    for (const EditorRow& e : rows) {
        out << "    {ConfigLayout::" << e.layout << ", " << e.section << ", " << quoted(e.title)
            << ", " << quoted(e.role) << ", " << e.enabledBy << ", "
            << (e.partLevels ? "true" : "false") << ", " << quoted(e.caption) << ", ";
        emitBits(out, e.writes);
        out << ", ";
        emitBits(out, e.match);
        out << "},\n";
    }
    out << "};\n}  // namespace\n\n"
        << "std::span<const WordEditorRow> wordEditorRows() {\n    return kWordEditorRows;\n}\n\n";
}

void emitLabels(std::ostringstream& out, const LabelTables& labels) {
    for (std::size_t word = 0; word < 2; ++word) {
        out << "const std::array<LabelLayout, 8> config" << word << "Labels = {{\n";
        for (const auto& layout : labels[word]) {
            out << "    {{";
            for (const Label& l : layout)
                out << "{" << quoted(l.name) << ", " << quoted(l.text0) << ", " << quoted(l.text1)
                    << "}, ";
            out << "}},\n";
        }
        out << "}};\n\n";
    }
}

void emitField(std::ostringstream& out, const Field& f) {
    out << "{" << f.word << ", " << f.shift << ", " << f.texts.size() << ", {";
    for (const std::string& text : f.texts)
        out << quoted(text) << ", ";
    out << "}}";
}

void emitDecodings(std::ostringstream& out, const std::vector<Decoding>& decodings) {
    out << "namespace {\nconstexpr BitTableDecoding kDecodings[] = {\n";
    for (const Decoding& d : decodings) {
        out << "    {" << d.config0Layout << ", " << d.config1Layout << ", ";
        emitField(out, d.osc);
        out << ", ";
        emitField(out, d.brownOut);
        out << "},\n";
    }
    out << "};\n}  // namespace\n\n"
        << "std::span<const BitTableDecoding> bitTableDecodings() {\n    return kDecodings;\n}\n\n";
}

// Texts of the part table gathered in one pool, each stored once; a row holds its texts as
// {offset, length} in the pool, so the compiled table carries no pointers.
class TextPool {
  public:
    std::string place(const std::string& text, const std::string& file) {
        if (text.empty())
            return "{}";
        auto [at, added] = offsets_.try_emplace(text, pool_.size());
        if (added)
            pool_ += text;
        if (pool_.size() > 0xFFFF || text.size() > 0xFF)
            fail(file, 0, "part texts exceed their pool");
        std::ostringstream place;
        place << '{' << at->second << ", " << text.size() << '}';
        return place.str();
    }

    std::string literal(const std::string& name) const {
        std::ostringstream text;
        text << "constexpr char " << name << "[] =";
        for (std::size_t at = 0; at < pool_.size(); at += 80)
            text << "\n    \"" << pool_.substr(at, 80) << '"';
        text << (pool_.empty() ? " \"\";\n\n" : ";\n\n");
        return text.str();
    }

  private:
    std::string pool_;
    std::map<std::string, std::size_t> offsets_;
};

// partTable(): every packed row unpacked once, on first use.
void emitUnpacking(std::ostringstream& out) {
    out << "std::string_view text(PackedText t) {\n"
        << "    return {kPartTexts + t.offset, t.length};\n}\n\n"
        << "}  // namespace\n\n"
        << "const std::array<PartRecord, kCatalogueSize>& partTable() {\n"
        << "    static const auto table = [] {\n"
        << "        std::array<PartRecord, kCatalogueSize> rows{};\n"
        << "        for (std::size_t i = 0; i < kCatalogueSize; ++i) {\n"
        << "            const auto& p = kPackedParts[i];\n"
        << "            auto& r = rows[i];\n";
    for (const auto& col : kColumns) {
        out << "            r." << col.name << " = "
            << (col.kind == Kind::Text ? "text(p." + std::string(col.name) + ")"
                                       : "p." + std::string(col.name))
            << ";\n";
    }
    out << "            for (std::size_t k = 0; k < 4; ++k) {\n"
        << "                r.clockSourceText[k] = text(p.clockSourceText[k]);\n"
        << "                r.brownOutLevels[k] = text(p.brownOutLevels[k]);\n"
        << "            }\n        }\n        return rows;\n    }();\n"
        << "    return table;\n}\n\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::cerr << "usage: tarnel-partgen PARTS.csv ALIASES.csv LABELS.csv LAYOUTS.csv "
                     "EDITORS.csv OUT.cpp\n";
        return 2;
    }
    const std::string partsFile = argv[1], aliasFile = argv[2];
    const LabelTables labels = readLabels(argv[3]);
    const std::vector<Decoding> decodings = readDecodings(argv[4], labels);
    const std::vector<EditorRow> editors = readEditors(argv[5]);

    const Table parts(partsFile);
    const auto& header = parts.header;
    const auto& rows = parts.rows;
    if (rows.size() != kRows) {
        fail(partsFile, 0,
             "expected " + std::to_string(kRows) + " rows, found " + std::to_string(rows.size()));
    }
    const std::size_t indexCol = columnIndex(header, "index", partsFile);

    std::ostringstream out;
    out << "// Generated from the catalogue and CONFIG bit-table files in data/; do not edit.\n"
        << "#include \"core/config_model.h\"\n#include \"core/part_record.h\"\n"
        << "#include \"core/word_editor_rows.h\"\n\n"
        << "namespace tarnel {\n\n"
        << "namespace {\n\n"
        << "struct PackedText {\n    std::uint16_t offset = 0;\n    std::uint8_t length = "
           "0;\n};\n\n";
    TextPool pool;
    std::ostringstream table;
    table << "constexpr std::array<BasicPartRecord<PackedText>, kCatalogueSize> kPackedParts = "
             "{{\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        const std::size_t line = r + 2;
        if (parseNumber(row[indexCol], partsFile, line, "index") != r) {
            fail(partsFile, line, "index out of sequence");
        }
        checkRow(parts, r, decodings);
        table << "    {";
        for (const auto& col : kColumns) {
            const std::string& v = row[columnIndex(header, col.name, partsFile)];
            switch (col.kind) {
                case Kind::Text:
                    if (v.size() > 12)
                        fail(partsFile, line, "part number longer than 12");
                    table << pool.place(v, partsFile) << ", ";
                    break;
                case Kind::Flag: {
                    auto f = parseNumber(v, partsFile, line, col.name);
                    if (f > 1)
                        fail(partsFile, line, std::string("flag not 0/1 in ") + col.name);
                    table << (f ? "true" : "false") << ", ";
                    break;
                }
                case Kind::Number:
                    table << "0x" << std::hex << parseNumber(v, partsFile, line, col.name)
                          << std::dec << ", ";
                    break;
            }
        }
        table << "{{";
        for (const char* c : kClockColumns) {
            table << pool.place(row[columnIndex(header, c, partsFile)], partsFile) << ", ";
        }
        table << "}}, {{";
        const std::string& levels = row[columnIndex(header, "brownOutLevels", partsFile)];
        if (!levels.empty())
            for (const std::string& level : splitTexts(levels))
                table << pool.place(level, partsFile) << ", ";
        table << "}}},\n";
    }
    out << pool.literal("kPartTexts") << table.str() << "}};\n\n";
    emitUnpacking(out);

    std::map<std::string, std::size_t> aliasHeader;
    auto aliases = readCsv(aliasFile, aliasHeader);
    if (aliases.size() != 5)
        fail(aliasFile, 0, "expected 5 alias pairs");
    const std::size_t formerCol = columnIndex(aliasHeader, "former", aliasFile);
    const std::size_t currentCol = columnIndex(aliasHeader, "current", aliasFile);
    out << "const std::array<NameAlias, 5> kNameAliases = {{\n";
    for (const auto& a : aliases) {
        out << "    {\"" << a[formerCol] << "\", \"" << a[currentCol] << "\"},\n";
    }
    out << "}};\n\n";
    emitLabels(out, labels);
    emitDecodings(out, decodings);
    emitEditors(out, editors);
    out << "}  // namespace tarnel\n";

    std::ofstream file(argv[6]);
    file << out.str();
    if (!file) {
        std::cerr << argv[6] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
