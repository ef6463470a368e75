// The small pieces of the public interface: the version, the names and
// tokens of the settings, a table's columns by heading and panels from the
// rows of a data frame.

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <koru/koru.h>

#include "core/Families.h"
#include "core/Format.h"

namespace koru {
namespace {

const char* const kFamilyTokens[kFamilyCount] = {"laspeyres",    "paasche",      "fisher",          "lowe",
                                                 "malmquist-hs", "malmquist-it", "hicks-moorsteen", "fare-primont"};
const char* const kReturnsToScaleTokens[] = {"vrs", "crs", "nirs", "ndrs"};
const char* const kTechnologyTokens[] = {"each-period", "no-regress", "no-change"};

template <typename Value, std::size_t Count>
Value FromToken(const std::string& token, const char* const (&tokens)[Count], const char* setting) {
  std::string known;
  for (std::size_t k = 0; k < Count; ++k) {
    if (token == tokens[k]) return static_cast<Value>(k);
    known += (k == 0 ? "" : k + 1 == Count ? " or " : ", ") + std::string("'") + tokens[k] + "'";
  }
  throw InputError("unknown " + std::string(setting) + " '" + token + "'; it takes " + known);
}

// A label that is a whole decimal number (or any number strtod reads whole),
// as a value for the identifier columns.
bool NumericLabel(const std::string& label, double& value) {
  if (label.empty()) return false;
  char* end = nullptr;
  value = std::strtod(label.c_str(), &end);
  return end == label.c_str() + label.size() && std::isfinite(value);
}

// The identifier values of labels: the labels themselves where every one is
// a number, otherwise the positions 1, 2, ...
std::vector<double> LabelValues(const std::vector<std::string>& labels) {
  std::vector<double> values(labels.size());
  for (std::size_t k = 0; k < labels.size(); ++k) {
    if (!NumericLabel(labels[k], values[k])) {
      for (std::size_t j = 0; j < labels.size(); ++j) values[j] = static_cast<double>(j + 1);
      break;
    }
  }
  return values;
}

using Columns = std::vector<std::pair<std::string, std::vector<double>>>;

}  // namespace

// The build sets the project's version; sources compiled elsewhere (the Python
// and R packages) take this one.
// The version comes from the build, which takes it from CMakeLists.txt.
#ifndef KORU_VERSION
#error "KORU_VERSION is not defined: the build passes the project version"
#endif

const char* version() { return "KORU " KORU_VERSION; }

std::string family_name(Family family) {
  const std::size_t f = static_cast<std::size_t>(family);
  if (f >= kFamilyCount) throw std::invalid_argument("koru::family_name: no such family");
  return kFamilies[f].name + 1;  // the table's names start with a blank
}

std::string family_token(Family family) {
  const std::size_t f = static_cast<std::size_t>(family);
  if (f >= kFamilyCount) throw std::invalid_argument("koru::family_token: no such family");
  return kFamilyTokens[f];
}

Family family_from_token(const std::string& token) { return FromToken<Family>(token, kFamilyTokens, "family"); }

std::string returns_to_scale_token(ReturnsToScale returnsToScale) {
  const std::size_t r = static_cast<std::size_t>(returnsToScale);
  if (r >= sizeof kReturnsToScaleTokens / sizeof kReturnsToScaleTokens[0])
    throw std::invalid_argument("koru::returns_to_scale_token: no such returns to scale");
  return kReturnsToScaleTokens[r];
}

ReturnsToScale returns_to_scale_from_token(const std::string& token) {
  return FromToken<ReturnsToScale>(token, kReturnsToScaleTokens, "returns to scale");
}

Technology technology_from_token(const std::string& token) {
  return FromToken<Technology>(token, kTechnologyTokens, "technology");
}

const std::vector<double>& Table::Column(const std::string& heading) const {
  for (std::size_t c = 0; c < headings.size(); ++c)
    if (headings[c] == heading) return columns[c];
  throw std::out_of_range("no column '" + heading + "' in the table '" + title + "'");
}

Panel panel_from_rows(const PanelRows& rows) {
  const std::size_t R = rows.firm.size();
  const uint64_t N = rows.firmLabels.size(), T = rows.periodLabels.size();
  if (rows.period.size() != R)
    throw InputError(FormatText("the %s codes hold %zu rows and the %s codes %zu", rows.firmColumn.c_str(), R,
                                rows.periodColumn.c_str(), rows.period.size()));
  if (rows.outputs.empty()) throw InputError("no output column");
  if (rows.inputs.empty()) throw InputError("no input column");
  const bool prices = !rows.outputPrices.empty() || !rows.inputPrices.empty();
  if (prices && rows.outputPrices.size() != rows.outputs.size())
    throw InputError(FormatText("%zu output price columns for %zu outputs", rows.outputPrices.size(),
                                rows.outputs.size()));
  if (prices && rows.inputPrices.size() != rows.inputs.size())
    throw InputError(FormatText("%zu input price columns for %zu inputs", rows.inputPrices.size(),
                                rows.inputs.size()));
  for (const Columns* group : {&rows.outputs, &rows.inputs, &rows.outputPrices, &rows.inputPrices})
    for (const auto& column : *group)
      if (column.second.size() != R)
        throw InputError(FormatText("column '%s' holds %zu values for %zu rows", column.first.c_str(),
                                    column.second.size(), R));

  // Each (firm, period) once: the row that holds observation o, or R.
  const uint64_t NT = N * T;
  std::vector<std::size_t> rowOf(NT, R);
  for (std::size_t r = 0; r < R; ++r) {
    if (rows.firm[r] >= N || rows.period[r] >= T)
      throw InputError(FormatText("row %zu: %s code %u or %s code %u is outside the %llu %ss and %llu %ss", r + 1,
                                  rows.firmColumn.c_str(), rows.firm[r], rows.periodColumn.c_str(), rows.period[r],
                                  static_cast<unsigned long long>(N), rows.firmColumn.c_str(),
                                  static_cast<unsigned long long>(T), rows.periodColumn.c_str()));
    const uint64_t o = N * rows.period[r] + rows.firm[r];
    if (rowOf[o] != R)
      throw InputError("rows " + std::to_string(rowOf[o] + 1) + " and " + std::to_string(r + 1) + " both hold " +
                       rows.firmColumn + " '" + rows.firmLabels[rows.firm[r]] + "' in " + rows.periodColumn + " '" +
                       rows.periodLabels[rows.period[r]] + "'");
    rowOf[o] = r;
  }
  Panel panel;
  panel.firms = static_cast<uint32_t>(N);
  panel.periods = static_cast<uint32_t>(T);
  panel.outputs = static_cast<uint32_t>(rows.outputs.size());
  panel.inputs = static_cast<uint32_t>(rows.inputs.size());
  const auto fill = [&](const Columns& columns, std::vector<double>& values) {
    const std::size_t width = columns.size();
    values.assign(NT * width, kMissing);
    for (uint64_t o = 0; o < NT; ++o) {
      if (rowOf[o] == R) continue;
      for (std::size_t c = 0; c < width; ++c) {
        const double value = columns[c].second[rowOf[o]];
        if (!std::isfinite(value))
          throw InputError("column '" + columns[c].first + "' is not finite (" + FormatText("%g", value) + ") for " +
                           rows.firmColumn + " '" + rows.firmLabels[o % N] + "' in " + rows.periodColumn + " '" +
                           rows.periodLabels[o / N] + "'");
        values[o * width + c] = value;
      }
    }
  };
  // A (firm, period) pair without a row is an absent observation.
  if (R != NT) {
    panel.present.assign(NT, true);
    for (uint64_t o = 0; o < NT; ++o) panel.present[o] = rowOf[o] != R;
  }
  fill(rows.outputs, panel.outputQuantities);
  fill(rows.inputs, panel.inputQuantities);
  if (prices) {
    fill(rows.outputPrices, panel.outputPrices);
    fill(rows.inputPrices, panel.inputPrices);
  }
  const std::vector<double> firmValues = LabelValues(rows.firmLabels);
  const std::vector<double> periodValues = LabelValues(rows.periodLabels);
  panel.id1.resize(NT);
  panel.id2.resize(NT);
  for (uint64_t o = 0; o < NT; ++o) {
    panel.id1[o] = firmValues[o % N];
    panel.id2[o] = periodValues[o / N];
  }
  panel.idHeading = "obs," + rows.firmColumn + "," + rows.periodColumn;
  return panel;
}

}  // namespace koru
