#include "report/ReportFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "core/Format.h"
#include "core/ResultFile.h"
#include "core/StagedFiles.h"
#include "lp/LPProblem.h"
#include "report/PeriodMeans.h"

namespace {

// ---------------------------------------------------------------- text

// Text from the input file for HTML: the five markup characters become
// references, and bytes that are not UTF-8 or are control characters become
// '?', so that the page always parses.
std::string Escape(const std::string& text) {
  std::string out;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A well-formed multi-byte sequence passes whole; anything else is '?'.
    std::size_t length = (c >= 0xc2 && c <= 0xdf) ? 2 : (c >= 0xe0 && c <= 0xef) ? 3 : (c >= 0xf0 && c <= 0xf4) ? 4 : 0;
    bool good = length != 0 && i + length <= n;
    for (std::size_t k = 1; good && k < length; ++k)
      good = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
    if (good && length == 3) {
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      good = !(c == 0xe0 && d < 0xa0) && !(c == 0xed && d >= 0xa0);  // overlong, surrogate
    }
    if (good && length == 4) {
      const unsigned char d = static_cast<unsigned char>(text[i + 1]);
      good = !(c == 0xf0 && d < 0x90) && !(c == 0xf4 && d >= 0x90);  // overlong, beyond U+10FFFF
    }
    if (!good) {
      out += '?';
      ++i;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
}

// Removes the spaces that end an error-log label.
std::string Trimmed(const std::string& text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string Value(double value) { return FormatText("%.4f", value); }
std::string Coordinate(double value) { return FormatText("%.1f", value); }
std::string Count(uint64_t value) { return FormatText("%llu", static_cast<unsigned long long>(value)); }

// The fields of the data header before the third comma: observation,
// first identifier, second identifier.
std::vector<std::string> HeadingFields(const AnalysisRecord& record) {
  std::vector<std::string> fields(1);
  for (const char* p = record.IdHeading; *p != '\0'; ++p) {
    if (*p == ',') fields.emplace_back();
    else fields.back() += *p;
  }
  fields.resize(3);
  for (std::string& field : fields) {
    const std::size_t first = field.find_first_not_of(" \t\"");
    const std::size_t last = field.find_last_not_of(" \t\"\r\n");
    field = first == std::string::npos ? std::string() : field.substr(first, last - first + 1);
  }
  return fields;
}

const char* CodeMeaning(int code) {
  switch (code) {
    case kLPUnbounded: return "unbounded";
    case kLPInfeasible: return "infeasible";
    case kLPBadInput: return "input refused by the solver";
    case kLPNotFeasibleBasis: return "ended at a basis that is not feasible";
    case kLPStepLimit: return "step limit reached";
    default: return "other";
  }
}

// A numbered list of the first 20 programs of `notes` (labels, each followed
// by what `detail` says of it) under `title`, and `note` below; nothing when
// there are none.
template <typename Detail>
std::string ProgramList(const char* title, const std::vector<ProgramNote>& notes, Detail detail, const char* note) {
  if (notes.empty()) return "";
  constexpr std::size_t kShown = 20;
  std::string html = std::string("<h3>") + title;
  if (notes.size() > kShown) html += " (the first 20)";
  html += "</h3>\n<ol class=\"failures\">\n";
  for (std::size_t k = 0; k < notes.size() && k < kShown; ++k)
    html += "<li>" + Escape(Trimmed(notes[k].label)) + detail(notes[k]) + "</li>\n";
  return html + "</ol>\n<p class=\"note\">" + note + "</p>\n";
}

// ---------------------------------------------------------------- charts

constexpr double kWidth = 640.0;
constexpr double kHeight = 400.0;
constexpr double kLeft = 64.0;
constexpr double kRight = 16.0;
constexpr double kTop = 16.0;
constexpr double kBottom = 60.0;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;

struct Style {
  const char* color;
  const char* dash;  // stroke-dasharray, "" for a solid line
  double width;
};

struct Line {
  std::string name;
  Style style;
  const PeriodSeries* series;
};

// The vertical scale: a range with round ends and its tick step.
struct Scale {
  double low = 0.0, high = 1.0, step = 0.2;
  int decimals = 1;
  std::size_t periods = 1;
  double X(std::size_t t) const { return kLeft + kPlotWidth * (static_cast<double>(t) + 0.5) / periods; }
  double Y(double value) const { return kTop + kPlotHeight * (high - value) / (high - low); }
};

Scale ScaleFor(std::vector<double> values, std::size_t periods) {
  Scale scale;
  scale.periods = periods == 0 ? 1 : periods;
  if (values.empty()) values.push_back(1.0);
  double low = *std::min_element(values.begin(), values.end());
  double high = *std::max_element(values.begin(), values.end());
  if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) {
    const double pad = 0.05 * std::max(1.0, std::fabs(high));
    low -= pad;
    high += pad;
  }
  const double raw = (high - low) / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double mantissa = norm <= 1.0 ? 1.0 : norm <= 2.0 ? 2.0 : norm <= 2.5 ? 2.5 : norm <= 5.0 ? 5.0 : 10.0;
  scale.step = mantissa * magnitude;
  scale.low = std::floor(low / scale.step) * scale.step;
  scale.high = std::ceil(high / scale.step) * scale.step;
  scale.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(scale.step) + 1e-9)));
  if (mantissa == 2.5) ++scale.decimals;
  return scale;
}

std::string StrokeAttributes(const Style& style) {
  std::string text = FormatText(" stroke=\"%s\" stroke-width=\"%.1f\"", style.color, style.width);
  if (style.dash[0] != '\0') text += FormatText(" stroke-dasharray=\"%s\"", style.dash);
  return text;
}

// Opening tag, gridlines, axes, tick labels and axis titles.
std::string ChartFrame(const Scale& scale, const std::vector<std::string>& periodNames, const std::string& xTitle,
                       const std::string& yTitle, const std::string& label, double reference) {
  std::string svg = FormatText(
      "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %.0f %.0f\" width=\"100%%\" "
      "role=\"img\" aria-label=\"%s\" font-size=\"15\">\n",
      kWidth, kHeight, label.c_str());
  svg += FormatText("<rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" fill=\"#ffffff\" stroke=\"#999999\"/>\n",
                    Coordinate(kLeft).c_str(), Coordinate(kTop).c_str(), Coordinate(kPlotWidth).c_str(),
                    Coordinate(kPlotHeight).c_str());
  const int ticks = static_cast<int>(std::lround((scale.high - scale.low) / scale.step));
  for (int k = 0; k <= ticks; ++k) {
    double value = scale.low + k * scale.step;
    if (std::fabs(value) < scale.step * 1e-9) value = 0.0;
    const std::string y = Coordinate(scale.Y(value));
    svg += FormatText("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#e0e0e0\"/>\n",
                      Coordinate(kLeft).c_str(), y.c_str(), Coordinate(kLeft + kPlotWidth).c_str(), y.c_str());
    svg += FormatText("<text x=\"%s\" y=\"%s\" text-anchor=\"end\" dominant-baseline=\"middle\">%.*f</text>\n",
                      Coordinate(kLeft - 6).c_str(), y.c_str(), scale.decimals, value);
  }
  if (reference >= scale.low && reference <= scale.high) {
    const std::string y = Coordinate(scale.Y(reference));
    svg += FormatText("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#666666\" stroke-width=\"1.5\"/>\n",
                      Coordinate(kLeft).c_str(), y.c_str(), Coordinate(kLeft + kPlotWidth).c_str(), y.c_str());
  }
  // Period labels: at most one every 48 units so that years do not collide.
  const std::size_t periods = periodNames.size();
  const std::size_t every = std::max<std::size_t>(1, (periods * 48 + static_cast<std::size_t>(kPlotWidth) - 1) /
                                                         static_cast<std::size_t>(kPlotWidth));
  const std::string tickTop = Coordinate(kTop + kPlotHeight);
  const std::string tickBottom = Coordinate(kTop + kPlotHeight + 5);
  const std::string labelY = Coordinate(kTop + kPlotHeight + 22);
  for (std::size_t t = 0; t < periods; ++t) {
    const std::string x = Coordinate(scale.X(t));
    svg += FormatText("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#999999\"/>\n", x.c_str(),
                      tickTop.c_str(), x.c_str(), tickBottom.c_str());
    if (t % every == 0)
      svg += FormatText("<text x=\"%s\" y=\"%s\" text-anchor=\"middle\">%s</text>\n", x.c_str(), labelY.c_str(),
                        Escape(periodNames[t]).c_str());
  }
  svg += FormatText("<text x=\"%s\" y=\"%s\" text-anchor=\"middle\">%s</text>\n",
                    Coordinate(kLeft + kPlotWidth / 2).c_str(), Coordinate(kHeight - 10).c_str(), xTitle.c_str());
  svg += FormatText("<text transform=\"translate(16 %s) rotate(-90)\" text-anchor=\"middle\">%s</text>\n",
                    Coordinate(kTop + kPlotHeight / 2).c_str(), yTitle.c_str());
  return svg;
}

// One line: a polyline through each run of periods that have a value, a dot
// on every value (a period alone between gaps shows as its dot).
std::string ChartLine(const Scale& scale, const Line& line, const std::vector<std::string>& periodNames) {
  const PeriodSeries& series = *line.series;
  const std::size_t periods = series.value.size();
  std::string svg;
  std::string points;
  std::size_t inRun = 0;
  auto closeRun = [&]() {
    if (inRun >= 2)
      svg += "<polyline fill=\"none\"" + StrokeAttributes(line.style) + " stroke-linejoin=\"round\" points=\"" +
             points + "\"/>\n";
    points.clear();
    inRun = 0;
  };
  for (std::size_t t = 0; t < periods; ++t) {
    if (!series.present[t]) {
      closeRun();
      continue;
    }
    if (!points.empty()) points += ' ';
    points += Coordinate(scale.X(t)) + "," + Coordinate(scale.Y(series.value[t]));
    ++inRun;
  }
  closeRun();
  for (std::size_t t = 0; t < periods; ++t) {
    if (!series.present[t]) continue;
    svg += FormatText("<circle cx=\"%s\" cy=\"%s\" r=\"3.5\" fill=\"%s\"><title>%s %s: %s</title></circle>\n",
                      Coordinate(scale.X(t)).c_str(), Coordinate(scale.Y(series.value[t])).c_str(), line.style.color,
                      Escape(periodNames[t]).c_str(), line.name.c_str(), Value(series.value[t]).c_str());
  }
  return svg;
}

std::string LegendSwatch(const Style& style) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"34\" height=\"12\" viewBox=\"0 0 34 12\">"
         "<line x1=\"1\" y1=\"6\" x2=\"33\" y2=\"6\"" +
         StrokeAttributes(style) + "/><circle cx=\"17\" cy=\"6\" r=\"3.5\" fill=\"" + style.color + "\"/></svg>";
}

std::string BoxSwatch() {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"34\" height=\"16\" viewBox=\"0 0 34 16\">"
         "<line x1=\"17\" y1=\"0\" x2=\"17\" y2=\"16\" stroke=\"#0072B2\" stroke-width=\"1.5\"/>"
         "<rect x=\"9\" y=\"3\" width=\"16\" height=\"10\" fill=\"#cfe3f3\" stroke=\"#0072B2\" stroke-width=\"1.5\"/>"
         "<line x1=\"9\" y1=\"8\" x2=\"25\" y2=\"8\" stroke=\"#000000\" stroke-width=\"2\"/></svg>";
}

std::string Legend(const std::vector<Line>& lines) {
  std::string html = "<ul class=\"legend\">\n";
  for (const Line& line : lines) html += "<li>" + LegendSwatch(line.style) + line.name + "</li>\n";
  return html + "</ul>\n";
}

std::string LineChart(const std::vector<Line>& lines, const std::vector<std::string>& periodNames,
                      const std::string& xTitle, const std::string& yTitle, const std::string& label) {
  std::vector<double> values{1.0};
  for (const Line& line : lines)
    for (std::size_t t = 0; t < line.series->value.size(); ++t)
      if (line.series->present[t]) values.push_back(line.series->value[t]);
  const Scale scale = ScaleFor(values, periodNames.size());
  std::string svg = ChartFrame(scale, periodNames, xTitle, yTitle, label, 1.0);
  for (const Line& line : lines) svg += ChartLine(scale, line, periodNames);
  return svg + "</svg>\n";
}

// ---------------------------------------------------------------- sections

struct Measure {
  const char* code;
  const ObservationVector* values;
  const char* words;  // for the chart legend
};

std::string RunSection(const AnalysisRecord& record, const std::string& inputName,
                       const std::vector<std::string>& periodNames) {
  auto row = [](const char* name, const std::string& value) {
    return std::string("<tr><th scope=\"row\">") + name + "</th><td>" + value + "</td></tr>\n";
  };
  const std::string family = FamilyName(record);
  std::string html = "<h2>Run</h2>\n<table class=\"facts\">\n";
  html += row("Input file", Escape(inputName));
  html += row("Index family", Escape(family.empty() ? family : family.substr(1)) +
                                  (record.IsChained() ? " (chained: each firm against itself one period earlier)"
                                                      : " (fixed base: every observation against Base)"));
  html += row("Returns to scale", !record.Vrs                               ? "constant (CRS)"
                                  : record.ScaleBound == kNonIncreasing ? "non-increasing (NIRS)"
                                  : record.ScaleBound == kNonDecreasing ? "non-decreasing (NDRS)"
                                                                        : "variable (VRS)");
  std::string technology;
  if (record.TechChange == 0) {
    technology = "no technical change";
  } else if (record.TechRegress == 0) {
    technology = "no technical regress";
    if (record.Window != 1) technology += FormatText("; no technical change in periods 1 to %u", record.Window);
  } else {
    technology = "technical regress allowed";
    if (record.Window != 1)
      technology += FormatText("; period-t technology estimated from the data of %u periods", record.Window);
  }
  html += row("Technology", technology);
  if (record.IsFixedBase()) {
    std::string base = FormatText("observation %u", record.Base);
    if (record.Base >= 1 && record.Base <= record.Observations && record.Firms > 0) {
      const uint32_t firm = (record.Base - 1) % record.Firms + 1;
      const uint32_t period = (record.Base - 1) / record.Firms + 1;
      base += FormatText(" (firm %u in period ", firm) + Escape(periodNames[period - 1]) + ")";
    }
    html += row("Base", base);
  } else {
    html += row("Base", "not used by a chained family");
  }
  html += row("Prices", record.Prices ? "in the data" : "none");
  html += row("UnitMeans", record.UnitMeans ? "yes: quantities rescaled to unit means" : "no");
  html += row("Firms (N)", FormatText("%u", record.Firms));
  html += row("Periods (T)", FormatText("%u", record.Periods));
  html += row("Outputs (M)", FormatText("%u", record.Outputs));
  html += row("Inputs (K)", FormatText("%u", record.Inputs));

  const ProgramTally& tally = record.Tally;
  html += row("Linear programs solved", Count(tally.solved));
  std::string failed = Count(tally.failed);
  if (tally.failed > 0) {
    std::map<int, uint64_t> byCode;
    for (const ProgramNote& note : tally.failures) ++byCode[note.code];
    std::string list;
    for (const auto& entry : byCode)
      list += (list.empty() ? "" : "; ") + FormatText("code %d (%s): ", entry.first, CodeMeaning(entry.first)) +
              Count(entry.second);
    failed += " &#8212; " + list;
  }
  html += row("Failed", failed);
  html += row("Solved again on a rescaled copy",
              record.SingleSolve != 0
                  ? std::string("off (--single-solve)")
                  : Count(tally.solvedAgain) + FormatText(" (%llu of them reached the optimum there; the others keep "
                                                          "their first result)",
                                                          static_cast<unsigned long long>(tally.solvedAgainTaken)));
  if (tally.cycling != 0 || tally.stalled != 0 || tally.antiCyclingSolved != 0) {
    html += row("Caught cycling or stalled", Count(tally.cycling) + FormatText(
                    " cycling, %llu stalled (%llu programs, cycling, stalled or at the step limit, reached the "
                    "optimum with a pivot rule that cannot cycle)",
                    static_cast<unsigned long long>(tally.stalled),
                    static_cast<unsigned long long>(tally.antiCyclingSolved)));
  }
  html += row("Stopped short", Count(tally.stoppedShort) +
                                   " (optimal within the solver&#39;s tolerance with an improving step left)");
  html += "</table>\n";
  if (tally.solved == 0)
    html += "<p class=\"note\">The solver&#39;s tally holds no programs for this run, so the counts above are "
            "zero.</p>\n";
  html += ProgramList("Failed programs", tally.failures, [](const ProgramNote& note) {
    return FormatText(": code %d (%s)", note.code, CodeMeaning(note.code));
  }, "Every failed program is listed in the error log; its measures are -9999 and are left out of the means below.");
  html += ProgramList("Programs that stopped short", tally.shortStops, [](const ProgramNote& note) {
    if (note.gain == 0.0) return std::string(": its end point violates a constraint");
    return std::isfinite(note.gain) ? FormatText(": optimum short by about %.2g of its value", note.gain)
                                    : std::string(": an improving direction without limit was left");
  }, record.SingleSolve != 0 ? "Their measures are printed as computed and may be wrong by far more than their last "
                                "digit."
                              : "Their measures are printed as computed and may be wrong by far more than their last "
                                "digit; every one is named in the error log.");
  return html;
}

std::string LeftOutCell(const std::vector<PeriodSeries>& means, const std::vector<Measure>& measures,
                        std::size_t t) {
  bool same = true;
  for (const PeriodSeries& series : means) same = same && series.leftOut[t] == means[0].leftOut[t];
  if (same) return FormatText("%u", means[0].leftOut[t]);
  std::string cell;
  for (std::size_t m = 0; m < means.size(); ++m)
    if (means[m].leftOut[t] > 0)
      cell += (cell.empty() ? "" : ", ") + std::string(measures[m].code) + FormatText(" %u", means[m].leftOut[t]);
  return cell;
}

std::string PeriodSection(const AnalysisRecord& record, const std::vector<std::string>& periodNames,
                          const std::string& periodTitle) {
  const uint32_t N = record.Firms;
  const uint32_t T = record.Periods;
  const bool chained = record.IsChained();
  const std::vector<Measure> measures = {
      {"dTFP", &record.dTFP, "TFP"},
      {"dTech", &record.dTech, "technical change"},
      {"dTFPE", &record.dTFPE, "TFP efficiency"},
      {"dOTE", &record.dOTE, "output-oriented technical efficiency"},
      {"dOSME", &record.dOSME, "output-oriented scale-mix efficiency"},
      {"dITE", &record.dITE, "input-oriented technical efficiency"},
      {"dISME", &record.dISME, "input-oriented scale-mix efficiency"},
  };
  std::vector<PeriodSeries> means;
  for (const Measure& measure : measures) means.push_back(GeometricMeansByPeriod(*measure.values, N, T));
  std::vector<PeriodSeries> drawn;
  for (const PeriodSeries& series : means) drawn.push_back(chained ? RunningProducts(series) : series);

  const Style styles[] = {{"#000000", "", 3.0},      {"#0072B2", "9 5", 2.5},  {"#D55E00", "3 4", 2.5},
                          {"#009E73", "", 2.0},      {"#CC79A7", "9 5", 2.0},  {"#E69F00", "3 4", 2.0},
                          {"#56B4E9", "12 4 3 4", 2.0}};
  auto lineName = [&](std::size_t m) {
    return std::string(chained ? "cumulated " : "") + measures[m].words + " (" + measures[m].code + ")";
  };
  std::vector<Line> main, parts;
  for (std::size_t m = 0; m < 3; ++m) main.push_back(Line{lineName(m), styles[m], &drawn[m]});
  for (std::size_t m = 3; m < measures.size(); ++m) parts.push_back(Line{lineName(m), styles[m], &drawn[m]});

  const std::string yTitle = chained ? "level relative to period 1" : "index relative to Base";
  std::string html = "<h2>By period</h2>\n";
  html += chained ? "<p>Geometric means over the firms of each period of the period-to-period indexes, cumulated "
                    "from 1 in the first period: TFP change and its parts over the whole panel.</p>\n"
                  : "<p>Geometric means over the firms of each period of the indexes, each of which compares an "
                    "observation with the Base observation.</p>\n";
  html += "<figure>\n" +
          LineChart(main, periodNames, periodTitle, yTitle,
                    chained ? "Cumulated TFP change, technical change and TFP efficiency change by period"
                            : "TFP, technical change and TFP efficiency relative to Base by period") +
          "<figcaption>" + Legend(main) + "</figcaption>\n</figure>\n";
  html += "<figure>\n" +
          LineChart(parts, periodNames, periodTitle, yTitle,
                    chained ? "Cumulated components of TFP efficiency change by period"
                            : "Components of TFP efficiency relative to Base by period") +
          "<figcaption>" + Legend(parts) +
          "<p class=\"note\">TFP efficiency change is the product of the output-oriented pair (OTE &#215; OSME) "
          "and, equally, of the input-oriented pair (ITE &#215; ISME).</p></figcaption>\n</figure>\n";

  html += "<div class=\"scroll\">\n<table class=\"numbers\">\n<caption>Geometric means over firms by period";
  html += chained ? " (change from the previous period)" : " (relative to Base)";
  html += "</caption>\n<thead><tr><th scope=\"col\">" + periodTitle + "</th>";
  for (const Measure& measure : measures) html += std::string("<th scope=\"col\">") + measure.code + "</th>";
  if (chained) html += "<th scope=\"col\">cumulated dTFP</th>";
  html += "<th scope=\"col\">left out</th></tr></thead>\n<tbody>\n";
  for (std::size_t t = 0; t < T; ++t) {
    html += "<tr><th scope=\"row\">" + Escape(periodNames[t]) + "</th>";
    for (const PeriodSeries& series : means)
      html += series.present[t] ? "<td>" + Value(series.value[t]) + "</td>" : "<td class=\"gap\">&#8211;</td>";
    if (chained)
      html += drawn[0].present[t] ? "<td>" + Value(drawn[0].value[t]) + "</td>" : "<td class=\"gap\">&#8211;</td>";
    html += "<td>" + LeftOutCell(means, measures, t) + "</td></tr>\n";
  }
  html += "</tbody>\n</table>\n</div>\n";

  html += "<p class=\"note\">Each mean is a geometric mean over the firms of the period: the exponential of the "
          "average logarithm, the mean that suits ratios (with the same firms, the mean of dTFP is the mean of "
          "dTech times the mean of dTFPE). Values marked -9999 (not computed), values that are not finite and "
          "values of zero or below (which have no logarithm) are left out; &#8220;left out&#8221; counts them, "
          "one number when all seven measures agree, by measure otherwise. A period with no usable value shows "
          "&#8211; in the table and a gap in the chart.</p>\n";
  if (chained)
    html += "<p class=\"note\">With a chained family every index compares a firm with itself one period "
            "earlier, and period 1 with itself, so its indexes equal 1. The charts cumulate the period means: the "
            "value in a period is the product of the means from period 2 up to it, starting from 1 in period 1, "
            "and reads as the level relative to period 1. A period without a mean breaks the chain: the change "
            "across it is unknown, so the cumulated line stops there and no later level relative to period 1 is "
            "drawn; the table still shows every mean that exists.</p>\n";
  else
    html += "<p class=\"note\">With a fixed-base family every index already compares an observation with the "
            "Base observation, so the charts draw the period means as they are.</p>\n";
  return html;
}

std::string EfficiencySection(const AnalysisRecord& record, const std::vector<std::string>& periodNames,
                              const std::string& periodTitle) {
  const uint32_t N = record.Firms;
  const uint32_t T = record.Periods;
  const std::vector<Spread> spreads = SpreadsByPeriod(record.TFPE, N, T);
  const PeriodSeries ote = ArithmeticMeansByPeriod(record.OTE, N, T);
  const PeriodSeries ite = ArithmeticMeansByPeriod(record.ITE, N, T);
  const Line lines[] = {{"mean output-oriented technical efficiency (OTE)", {"#009E73", "", 2.5}, &ote},
                        {"mean input-oriented technical efficiency (ITE)", {"#E69F00", "9 5", 2.5}, &ite}};

  std::vector<double> values{1.0};
  for (const Spread& spread : spreads)
    if (spread.present) {
      values.push_back(spread.minimum);
      values.push_back(spread.maximum);
    }
  for (const Line& line : lines)
    for (std::size_t t = 0; t < T; ++t)
      if (line.series->present[t]) values.push_back(line.series->value[t]);
  const Scale scale = ScaleFor(values, T);
  std::string svg = ChartFrame(scale, periodNames, periodTitle, "efficiency",
                               "Spread of TFP efficiency over firms and mean technical efficiency by period",
                               std::numeric_limits<double>::quiet_NaN());
  const double half = std::min(14.0, 0.3 * kPlotWidth / (T == 0 ? 1 : T));
  for (std::size_t t = 0; t < T; ++t) {
    const Spread& s = spreads[t];
    if (!s.present) continue;
    const std::string x = Coordinate(scale.X(t));
    const std::string left = Coordinate(scale.X(t) - half);
    const std::string right = Coordinate(scale.X(t) + half);
    svg += "<g><title>" + Escape(periodNames[t]) + " TFPE: min " + Value(s.minimum) + ", lower quartile " +
           Value(s.lowerQuartile) + ", median " + Value(s.median) + ", upper quartile " + Value(s.upperQuartile) +
           ", max " + Value(s.maximum) + "</title>\n";
    svg += FormatText("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#0072B2\" stroke-width=\"1.5\"/>\n",
                      x.c_str(), Coordinate(scale.Y(s.maximum)).c_str(), x.c_str(),
                      Coordinate(scale.Y(s.minimum)).c_str());
    for (double end : {s.minimum, s.maximum}) {
      const std::string y = Coordinate(scale.Y(end));
      svg += FormatText("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#0072B2\" stroke-width=\"1.5\"/>\n",
                        Coordinate(scale.X(t) - half / 2).c_str(), y.c_str(),
                        Coordinate(scale.X(t) + half / 2).c_str(), y.c_str());
    }
    svg += FormatText(
        "<rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" fill=\"#cfe3f3\" stroke=\"#0072B2\" "
        "stroke-width=\"1.5\"/>\n",
        left.c_str(), Coordinate(scale.Y(s.upperQuartile)).c_str(), Coordinate(2 * half).c_str(),
        Coordinate(scale.Y(s.lowerQuartile) - scale.Y(s.upperQuartile)).c_str());
    const std::string y = Coordinate(scale.Y(s.median));
    svg += FormatText("<line x1=\"%s\" y1=\"%s\" x2=\"%s\" y2=\"%s\" stroke=\"#000000\" stroke-width=\"2.5\"/>\n",
                      left.c_str(), y.c_str(), right.c_str(), y.c_str());
    svg += "</g>\n";
  }
  for (const Line& line : lines) svg += ChartLine(scale, line, periodNames);
  svg += "</svg>\n";

  std::string html = "<h2>Efficiency by period</h2>\n<figure>\n" + svg + "<figcaption><ul class=\"legend\">\n<li>" +
                     BoxSwatch() +
                     "TFP efficiency (TFPE) over firms: whiskers minimum to maximum, box lower to upper quartile, "
                     "bar the median</li>\n";
  for (const Line& line : lines) html += "<li>" + LegendSwatch(line.style) + line.name + "</li>\n";
  html += "</ul></figcaption>\n</figure>\n";

  html += "<div class=\"scroll\">\n<table class=\"numbers\">\n<caption>TFP efficiency over firms and mean technical "
          "efficiency by period</caption>\n<thead><tr><th scope=\"col\">" +
          periodTitle +
          "</th><th scope=\"col\">TFPE min</th><th scope=\"col\">lower quartile</th><th scope=\"col\">median</th>"
          "<th scope=\"col\">upper quartile</th><th scope=\"col\">max</th><th scope=\"col\">mean OTE</th>"
          "<th scope=\"col\">mean ITE</th><th scope=\"col\">left out</th></tr></thead>\n<tbody>\n";
  auto cell = [](bool present, double value) {
    return present ? "<td>" + Value(value) + "</td>" : std::string("<td class=\"gap\">&#8211;</td>");
  };
  for (std::size_t t = 0; t < T; ++t) {
    const Spread& s = spreads[t];
    html += "<tr><th scope=\"row\">" + Escape(periodNames[t]) + "</th>" + cell(s.present, s.minimum) +
            cell(s.present, s.lowerQuartile) + cell(s.present, s.median) + cell(s.present, s.upperQuartile) +
            cell(s.present, s.maximum) + cell(ote.present[t], ote.value[t]) + cell(ite.present[t], ite.value[t]);
    if (s.leftOut == ote.leftOut[t] && s.leftOut == ite.leftOut[t])
      html += FormatText("<td>%u</td></tr>\n", s.leftOut);
    else
      html += FormatText("<td>TFPE %u, OTE %u, ITE %u</td></tr>\n", s.leftOut, ote.leftOut[t], ite.leftOut[t]);
  }
  html += "</tbody>\n</table>\n</div>\n";
  html += "<p class=\"note\">Quartiles and the median interpolate linearly between the sorted values of the period "
          "(the value at position (n &#8722; 1)p, counted from 0). The means of OTE and ITE are arithmetic means. "
          "Values marked -9999 or not finite are left out and counted.</p>\n";
  return html;
}

const char* kMeasureLegend =
    "<h2>The measures</h2>\n<dl>\n"
    "<dt>TFP</dt><dd>Total factor productivity: an aggregate of the outputs divided by an aggregate of the inputs "
    "(Q / X), the aggregates weighted as the index family prescribes.</dd>\n"
    "<dt>TFP*</dt><dd>The maximum TFP that the technology of the period allows.</dd>\n"
    "<dt>TFPE</dt><dd>TFP efficiency, TFP / TFP*: how close a firm comes to the maximum productivity possible "
    "(1 is the maximum).</dd>\n"
    "<dt>dTFP</dt><dd>The TFP index: TFP compared with that of the comparison observation (the same firm a period "
    "earlier for a chained family, the Base observation for Lowe and Fare-Primont). dTFP = dTech &#215; dTFPE.</dd>\n"
    "<dt>dTech</dt><dd>Technical change: the change in the maximum TFP possible, TFP* / TFP* of the comparison "
    "observation. Above 1 is technical progress, below 1 regress.</dd>\n"
    "<dt>dTFPE</dt><dd>Change in TFP efficiency: catching up with (above 1) or falling behind (below 1) the "
    "productivity frontier.</dd>\n"
    "<dt>OTE, dOTE</dt><dd>Output-oriented technical efficiency: actual output as a share of the most output the "
    "firm&#39;s inputs could produce with its output mix held; dOTE is its change.</dd>\n"
    "<dt>OSME, dOSME</dt><dd>Output-oriented scale-mix efficiency: the productivity gained from moving a "
    "technically efficient firm to the best scale and output mix; dOSME is its change. dTFPE = dOTE &#215; "
    "dOSME.</dd>\n"
    "<dt>ITE, dITE</dt><dd>Input-oriented technical efficiency: the least input that could produce the firm&#39;s "
    "output, with its input mix held, as a share of the input used; dITE is its change.</dd>\n"
    "<dt>ISME, dISME</dt><dd>Input-oriented scale-mix efficiency: the productivity gained from moving a "
    "technically efficient firm to the best scale and input mix; dISME is its change. dTFPE = dITE &#215; "
    "dISME.</dd>\n"
    "</dl>\n";

const char* kStyle =
    "<style>\n"
    "body{font-family:system-ui,-apple-system,\"Segoe UI\",Roboto,\"Helvetica Neue\",Arial,sans-serif;margin:0;"
    "color:#1b1b1b;background:#ffffff;line-height:1.45}\n"
    "main{max-width:62rem;margin:0 auto;padding:1rem}\n"
    "h1{font-size:1.5rem;margin:.3rem 0}\n"
    "h2{font-size:1.25rem;margin:2rem 0 .6rem;border-bottom:2px solid #d0d0d0;padding-bottom:.2rem}\n"
    "h3{font-size:1rem;margin:1rem 0 .3rem}\n"
    ".sub{color:#555555;margin:0 0 1rem}\n"
    "table{border-collapse:collapse;font-size:.9rem}\n"
    "caption{text-align:left;font-weight:600;padding:.3rem 0}\n"
    "th,td{padding:.25rem .55rem;border-bottom:1px solid #e4e4e4;text-align:right;white-space:nowrap;"
    "font-variant-numeric:tabular-nums}\n"
    "thead th{background:#f2f2f2}\n"
    "tbody th{text-align:left}\n"
    ".facts th{text-align:left;font-weight:600;background:none;vertical-align:top}\n"
    ".facts td{text-align:left;white-space:normal}\n"
    "td.gap{color:#999999;text-align:center}\n"
    ".scroll{overflow-x:auto;margin:1rem 0}\n"
    "figure{margin:1rem 0 1.5rem}\n"
    "svg.chart{width:100%;height:auto;display:block;max-width:48rem}\n"
    "svg.chart text{fill:#222222}\n"
    "figcaption{font-size:.9rem}\n"
    "ul.legend{list-style:none;padding:0;margin:.4rem 0;display:flex;flex-wrap:wrap;gap:.3rem 1.4rem}\n"
    "ul.legend li{display:flex;align-items:center;gap:.4rem}\n"
    "ul.legend svg{flex:none}\n"
    ".note{font-size:.85rem;color:#444444;max-width:48rem}\n"
    "ol.failures{font-size:.85rem}\n"
    "dl{max-width:48rem}\n"
    "dt{font-weight:600;margin-top:.6rem}\n"
    "dd{margin:0 0 0 1.2rem}\n"
    "@media (max-width:32rem){main{padding:.6rem}table{font-size:.8rem}th,td{padding:.2rem .35rem}"
    "svg.chart{font-size:20px}}\n"
    "@media print{body{font-size:10pt}main{max-width:none;padding:0}.scroll{overflow:visible}"
    "h2,h3{break-after:avoid}figure,tr,dt,dd{break-inside:avoid}svg.chart{max-width:17cm}}\n"
    "</style>\n";

}  // namespace

std::string ReportText(const AnalysisRecord& record, const std::string& inputName) {
  int column = 0;
  const std::vector<std::string> periodNames = PeriodNames(record, column);
  const std::vector<std::string> heading = HeadingFields(record);
  std::string periodTitle = column == 0 ? "period" : Escape(heading[column]);
  if (periodTitle.empty()) periodTitle = "period";
  std::string family = FamilyName(record);
  if (!family.empty()) family.erase(0, 1);

  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  html += "<title>KORU report: " + Escape(inputName) + "</title>\n";
  html += kStyle;
  html += "</head>\n<body>\n<main>\n<h1>KORU productivity report</h1>\n";
  html += "<p class=\"sub\">" + Escape(inputName) + " &#183; " + Escape(family) + " indexes &#183; " +
          FormatText("%u firms, %u periods", record.Firms, record.Periods) + "</p>\n";
  html += RunSection(record, inputName, periodNames);
  html += PeriodSection(record, periodNames, periodTitle);
  html += EfficiencySection(record, periodNames, periodTitle);
  html += kMeasureLegend;
  html += "</main>\n</body>\n</html>\n";
  return html;
}

bool WriteReportFile(const AnalysisRecord& record, const std::string& inputName, StagedFiles& files,
                     const std::string& fileName) {
  const std::string text = ReportText(record, inputName);
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_report.html file for writing");
  if (file == nullptr) return false;
  WriteToStream(file, text.data(), text.size());
  return CloseResultFile(files, file);
}
