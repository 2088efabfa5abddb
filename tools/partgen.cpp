// Build-time generator: turns data/parts.csv and data/name_aliases.csv into the compiled
// catalogue table (a C++ source file). Refuses malformed data with a message and exit 1.
//
// usage: tarnel-partgen PARTS.csv ALIASES.csv OUT.cpp

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: tarnel-partgen PARTS.csv ALIASES.csv OUT.cpp\n";
        return 2;
    }
    const std::string partsFile = argv[1], aliasFile = argv[2];

    std::map<std::string, std::size_t> header;
    auto rows = readCsv(partsFile, header);
    if (rows.size() != kRows) {
        fail(partsFile, 0,
             "expected " + std::to_string(kRows) + " rows, found " + std::to_string(rows.size()));
    }
    const std::size_t indexCol = columnIndex(header, "index", partsFile);

    std::ostringstream out;
    out << "// Generated from data/parts.csv and data/name_aliases.csv; do not edit.\n"
        << "#include \"core/part_record.h\"\n\nnamespace tarnel {\n\n"
        << "const std::array<PartRecord, kCatalogueSize> kPartTable = {{\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        const std::size_t line = r + 2;
        if (parseNumber(row[indexCol], partsFile, line, "index") != r) {
            fail(partsFile, line, "index out of sequence");
        }
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
    out << "}};\n\n}  // namespace tarnel\n";

    std::ofstream file(argv[3]);
    file << out.str();
    if (!file) {
        std::cerr << argv[3] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
