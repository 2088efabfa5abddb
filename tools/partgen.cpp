// Build-time generator: turns the catalogue (data/parts.csv, data/name_aliases.csv) and the
// CONFIG bit tables (data/config_labels.csv, data/bit_table_layouts.csv) into one compiled
// C++ source file. Refuses malformed or inconsistent data with a message and exit 1: the
// rows must agree with themselves (page counts with addresses, presence flags with sizes),
// and a part's layout columns must name bit tables and a decoding that read labelled bits.
//
// usage: tarnel-partgen PARTS.csv ALIASES.csv LABELS.csv LAYOUTS.csv OUT.cpp

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

std::vector<std::string> splitLine(const std::string& line, const std::string& file,
                                   std::size_t lineNo) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == '"' || c == '\\')
            fail(file, lineNo, "quotes and backslashes are not allowed");
        if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else if (c != '\r') {
            field += c;
        }
    }
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

// ---- Catalogue rows ----------------------------------------------------------------------

// What every row must agree with: page counts with addresses, presence flags with sizes, and
// layout columns with the bit tables.
void checkRow(const Table& t, std::size_t r, const std::vector<Decoding>& decodings) {
    const std::string& number = t.text(r, "partNumber");
    if (number.empty() || number == "-")
        return;
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: tarnel-partgen PARTS.csv ALIASES.csv LABELS.csv LAYOUTS.csv OUT.cpp\n";
        return 2;
    }
    const std::string partsFile = argv[1], aliasFile = argv[2];
    const LabelTables labels = readLabels(argv[3]);
    const std::vector<Decoding> decodings = readDecodings(argv[4], labels);

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
        << "#include \"core/config_model.h\"\n#include \"core/part_record.h\"\n\n"
        << "namespace tarnel {\n\n"
        << "const std::array<PartRecord, kCatalogueSize> kPartTable = {{\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        const std::size_t line = r + 2;
        if (parseNumber(row[indexCol], partsFile, line, "index") != r) {
            fail(partsFile, line, "index out of sequence");
        }
        checkRow(parts, r, decodings);
        out << "    {";
        for (const auto& col : kColumns) {
            const std::string& v = row[columnIndex(header, col.name, partsFile)];
            switch (col.kind) {
                case Kind::Text:
                    if (v.size() > 12)
                        fail(partsFile, line, "part number longer than 12");
                    out << '"' << v << "\", ";
                    break;
                case Kind::Flag: {
                    auto f = parseNumber(v, partsFile, line, col.name);
                    if (f > 1)
                        fail(partsFile, line, std::string("flag not 0/1 in ") + col.name);
                    out << (f ? "true" : "false") << ", ";
                    break;
                }
                case Kind::Number:
                    out << "0x" << std::hex << parseNumber(v, partsFile, line, col.name) << std::dec
                        << ", ";
                    break;
            }
        }
        out << "{";
        for (const char* c : kClockColumns) {
            out << '"' << row[columnIndex(header, c, partsFile)] << "\", ";
        }
        out << "}},\n";
    }
    out << "}};\n\n";

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
    out << "}  // namespace tarnel\n";

    std::ofstream file(argv[5]);
    file << out.str();
    if (!file) {
        std::cerr << argv[5] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
