#include "app/PlainTable.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "core/Format.h"

namespace {

using koru::InputError;

// One record of the file: its fields and the line it starts on.
struct Record {
  std::vector<std::string> fields;
  std::vector<bool> quoted;
  int line = 0;
};

// Splits the text into records of fields; quoted fields may hold the
// separator, quotes ("") and line ends.
std::vector<Record> SplitRecords(const std::string& text, char separator, const std::string& path) {
  std::vector<Record> records;
  Record record;
  std::string field;
  bool quoted = false, inQuotes = false, any = false;
  int line = 1;
  record.line = 1;
  const auto endField = [&] {
    record.fields.push_back(field);
    record.quoted.push_back(quoted);
    field.clear();
    quoted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inQuotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
      continue;
    }
    if (c == '"' && field.find_first_not_of(" \t") == std::string::npos) {
      field.clear();
      inQuotes = quoted = any = true;
    } else if (c == separator) {
      endField();
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !field.empty()) {
        endField();
        records.push_back(record);
      }
      record = Record();
      any = false;
      record.line = ++line;
    } else {
      field += c;
      any = true;
    }
  }
  if (inQuotes) throw InputError(FormatText("%s, line %d: a quoted field is not closed", path.c_str(), record.line));
  if (any || !field.empty()) {
    endField();
    records.push_back(record);
  }
  return records;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The labels in the order they are numbered: by value where every label is
// a number, otherwise in the order of their first row.
std::vector<std::string> OrderedLabels(const std::vector<std::string>& firstSeen) {
  std::vector<std::pair<double, std::string>> numeric;
  for (const std::string& label : firstSeen) {
    char* end = nullptr;
    const double value = std::strtod(label.c_str(), &end);
    if (label.empty() || end != label.c_str() + label.size() || !std::isfinite(value)) return firstSeen;
    numeric.emplace_back(value, label);
  }
  std::stable_sort(numeric.begin(), numeric.end(),
                   [](const std::pair<double, std::string>& a, const std::pair<double, std::string>& b) {
                     return a.first < b.first;
                   });
  std::vector<std::string> labels;
  for (const auto& entry : numeric) labels.push_back(entry.second);
  return labels;
}

uint32_t WholeNumber(const std::string& text, const char* option) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    throw InputError(FormatText("%s takes a whole number, not '%s'", option, text.c_str()));
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

}  // namespace

std::string TableBaseName(const TableOptions& options) {
  if (!options.out.empty()) return options.out;
  const std::string& path = options.path;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".csv") == 0) return path.substr(0, path.size() - 4);
  return path;
}

koru::InputFile ReadPlainTable(const TableOptions& options) {
  std::ifstream in(options.path, std::ios::binary);
  if (!in) throw InputError(FormatText("unable to open the table %s: %s", options.path.c_str(), std::strerror(errno)));
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);  // a spreadsheet's byte-order mark
  const std::string headerLine = text.substr(0, text.find('\n'));
  const char separator = headerLine.find(';') != std::string::npos && headerLine.find(',') == std::string::npos ? ';' : ',';
  const std::vector<Record> records = SplitRecords(text, separator, options.path);
  if (records.empty()) throw InputError(FormatText("%s: the table is empty", options.path.c_str()));

  // The header names the columns.
  std::map<std::string, std::size_t> columnOf;
  const std::vector<std::string>& header = records[0].fields;
  for (std::size_t c = 0; c < header.size(); ++c) columnOf.emplace(Trimmed(header[c]), c);
  const auto column = [&](const std::string& name, const char* option) {
    const auto found = columnOf.find(name);
    if (found == columnOf.end())
      throw InputError(FormatText("%s: %s names the column '%s', which the header does not hold", options.path.c_str(),
                                  option, name.c_str()));
    return found->second;
  };
  const std::size_t firmColumn = column(options.firm, "--firm");
  const std::size_t periodColumn = column(options.period, "--period");

  koru::PanelRows rows;
  rows.firmColumn = options.firm;
  rows.periodColumn = options.period;
  struct Group {
    const std::vector<std::string>* names;
    const char* option;
    std::vector<std::pair<std::string, std::vector<double>>>* columns;
    std::vector<std::size_t> indexes;
  };
  Group groups[] = {{&options.outputs, "--outputs", &rows.outputs, {}},
                    {&options.inputs, "--inputs", &rows.inputs, {}},
                    {&options.outputPrices, "--output-prices", &rows.outputPrices, {}},
                    {&options.inputPrices, "--input-prices", &rows.inputPrices, {}}};
  for (Group& group : groups)
    for (const std::string& name : *group.names) {
      group.indexes.push_back(column(name, group.option));
      group.columns->emplace_back(name, std::vector<double>());
    }

  std::vector<std::string> firmsSeen, periodsSeen;
  std::map<std::string, bool> firmKnown, periodKnown;
  std::vector<std::string> firmOfRow, periodOfRow;
  for (std::size_t r = 1; r < records.size(); ++r) {
    const Record& record = records[r];
    if (record.fields.size() != header.size())
      throw InputError(FormatText("%s, line %d: %zu fields, the header has %zu", options.path.c_str(), record.line,
                                  record.fields.size(), header.size()));
    // Every quantity blank: an absent observation.
    bool allBlank = true;
    for (int g = 0; g < 2; ++g)
      for (std::size_t c : groups[g].indexes) allBlank = allBlank && Trimmed(record.fields[c]).empty();
    if (allBlank) continue;
    const std::string firm = Trimmed(record.fields[firmColumn]);
    const std::string period = Trimmed(record.fields[periodColumn]);
    for (const auto& id : {std::make_pair(firm, firmColumn), std::make_pair(period, periodColumn)})
      if (id.first.empty())
        throw InputError(FormatText("%s, line %d, column '%s': the cell is blank", options.path.c_str(), record.line,
                                    Trimmed(header[id.second]).c_str()));
    if (!firmKnown[firm]) firmsSeen.push_back(firm), firmKnown[firm] = true;
    if (!periodKnown[period]) periodsSeen.push_back(period), periodKnown[period] = true;
    firmOfRow.push_back(firm);
    periodOfRow.push_back(period);
    for (Group& group : groups)
      for (std::size_t k = 0; k < group.indexes.size(); ++k) {
        const std::string cell = Trimmed(record.fields[group.indexes[k]]);
        char* end = nullptr;
        const float value = std::strtof(cell.c_str(), &end);
        if (cell.empty() || end != cell.c_str() + cell.size())
          throw InputError(FormatText("%s, line %d, column '%s': %s", options.path.c_str(), record.line,
                                      (*group.names)[k].c_str(),
                                      cell.empty() ? "the cell is blank (only a row whose every quantity is blank "
                                                     "is an absent observation)"
                                                   : ("'" + cell + "' is not a number").c_str()));
        (*group.columns)[k].second.push_back(static_cast<double>(value));
      }
  }

  rows.firmLabels = OrderedLabels(firmsSeen);
  rows.periodLabels = OrderedLabels(periodsSeen);
  std::map<std::string, uint32_t> firmCode, periodCode;
  for (std::size_t i = 0; i < rows.firmLabels.size(); ++i) firmCode[rows.firmLabels[i]] = static_cast<uint32_t>(i);
  for (std::size_t t = 0; t < rows.periodLabels.size(); ++t)
    periodCode[rows.periodLabels[t]] = static_cast<uint32_t>(t);
  for (std::size_t r = 0; r < firmOfRow.size(); ++r) {
    rows.firm.push_back(firmCode[firmOfRow[r]]);
    rows.period.push_back(periodCode[periodOfRow[r]]);
  }

  koru::InputFile input;
  input.panel = koru::panel_from_rows(rows);
  input.panel.source = options.path;
  koru::Settings& settings = input.settings;
  if (!options.family.empty()) {
    settings.familyGiven = true;
    settings.family = koru::family_from_token(options.family);
  }
  if (!options.rts.empty()) settings.returnsToScale = koru::returns_to_scale_from_token(options.rts);
  if (!options.technology.empty()) settings.technology = koru::technology_from_token(options.technology);
  if (!options.window.empty()) settings.window = WholeNumber(options.window, "--window");
  settings.unitMeans = options.unitMeans;
  if (!options.base.empty()) {
    const std::size_t comma = options.base.find(',');
    const std::string firm = Trimmed(options.base.substr(0, comma));
    const std::string period = comma == std::string::npos ? "" : Trimmed(options.base.substr(comma + 1));
    const auto i = firmCode.find(firm);
    const auto t = periodCode.find(period);
    if (comma == std::string::npos || i == firmCode.end() || t == periodCode.end())
      throw InputError("--base takes FIRM,PERIOD of the table, not '" + options.base + "'");
    settings.base = static_cast<uint32_t>(rows.firmLabels.size()) * t->second + i->second + 1;
  }
  return input;
}
