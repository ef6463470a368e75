// koru._koru: the engine's public interface (koru/koru.h) for Python. It turns
// the arguments koru/__init__.py prepares into a panel and settings, runs the
// engine with the GIL released, and hands the results back as NumPy arrays
// and Python lists, which koru/__init__.py turns into DataFrames. Headings,
// tokens and messages are all the engine's.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <koru/koru.h>

namespace py = pybind11;

namespace {

using Values = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Codes = py::array_t<uint32_t, py::array::c_style | py::array::forcecast>;
using NamedValues = std::vector<std::pair<std::string, Values>>;
using NamedColumns = std::vector<std::pair<std::string, std::vector<double>>>;

std::vector<double> ToVector(const Values& values) {
  return std::vector<double>(values.data(), values.data() + values.size());
}

NamedColumns ToColumns(const py::handle& columns) {
  NamedColumns result;
  for (const auto& [name, values] : columns.cast<NamedValues>()) result.emplace_back(name, ToVector(values));
  return result;
}

std::vector<uint32_t> ToCodes(const py::handle& codes) {
  const Codes array = codes.cast<Codes>();
  return std::vector<uint32_t>(array.data(), array.data() + array.size());
}

// The panel of the rows koru/__init__.py hands over: each row's firm and
// period as codes into the label lists, the named value columns and, when
// the caller names them, the two identifier columns the files print (one
// value per row) with their heading.
koru::Panel MakePanel(const py::dict& rows) {
  koru::PanelRows panelRows;
  panelRows.firmLabels = rows["firm_labels"].cast<std::vector<std::string>>();
  panelRows.periodLabels = rows["period_labels"].cast<std::vector<std::string>>();
  panelRows.firm = ToCodes(rows["firm"]);
  panelRows.period = ToCodes(rows["period"]);
  panelRows.firmColumn = rows["firm_column"].cast<std::string>();
  panelRows.periodColumn = rows["period_column"].cast<std::string>();
  panelRows.outputs = ToColumns(rows["outputs"]);
  panelRows.inputs = ToColumns(rows["inputs"]);
  panelRows.outputPrices = ToColumns(rows["output_prices"]);
  panelRows.inputPrices = ToColumns(rows["input_prices"]);
  koru::Panel panel = koru::panel_from_rows(panelRows);

  const py::object identifiers = rows["identifiers"];
  if (identifiers.is_none()) return panel;
  // Row r is observation N (period - 1) + firm, 0-based here; an absent
  // observation keeps the identifiers of its labels.
  const auto [id1, id2, heading] = identifiers.cast<std::tuple<Values, Values, std::string>>();
  for (std::size_t r = 0; r < panelRows.firm.size(); ++r) {
    const std::size_t o = static_cast<std::size_t>(panelRows.period[r]) * panel.firms + panelRows.firm[r];
    panel.id1[o] = id1.data()[r];
    panel.id2[o] = id2.data()[r];
  }
  panel.idHeading = heading;
  return panel;
}

// A window below 1 or beyond any panel reaches the engine as 0 or the
// largest count, which it refuses with its own message.
uint32_t WindowOf(long long window) {
  if (window < 1) return 0;
  if (window > static_cast<long long>(std::numeric_limits<uint32_t>::max()))
    return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(window);
}

// Settings from koru/__init__.py's dict: tokens for the family (None: the
// input file's default), returns to scale and technology; the base as an
// observation number (0: the first observation).
koru::Settings MakeSettings(const py::dict& options) {
  koru::Settings settings;
  const py::object family = options["family"];
  if (!family.is_none()) {
    settings.familyGiven = true;
    settings.family = koru::family_from_token(family.cast<std::string>());
  }
  settings.returnsToScale = koru::returns_to_scale_from_token(options["rts"].cast<std::string>());
  settings.technology = koru::technology_from_token(options["technology"].cast<std::string>());
  settings.window = WindowOf(options["window"].cast<long long>());
  const long long base = options["base"].cast<long long>();
  if (base > 0) settings.base = static_cast<uint32_t>(base);
  settings.unitMeans = options["unit_means"].cast<bool>();
  settings.singleSolve = options["single_solve"].cast<bool>();
  settings.malmquist = options["malmquist"].cast<bool>();
  if (options.contains("peers")) settings.peers = options["peers"].cast<bool>();
  settings.threads = options["threads"].cast<unsigned>();
  if (options.contains("bootstrap")) {
    settings.bootstrap = options["bootstrap"].cast<uint32_t>();
    settings.seed = options["seed"].cast<uint64_t>();
    settings.alpha = options["alpha"].cast<double>();
    settings.bootstrapInParts = options["bootstrap_in_parts"].cast<bool>();
  }
  return settings;
}

// The hooks of one run. Both are called on the thread that called analyze,
// which holds no GIL while the engine works: each takes it briefly.
class RunHooks {
 public:
  explicit RunHooks(bool progress) : m_Progress(progress) {}

  koru::Hooks Hooks() {
    koru::Hooks hooks;
    hooks.cancel = [this] { return Interrupted(); };
    if (m_Progress)
      hooks.progress = [this](int set, uint64_t done, uint64_t total) { ShowProgress(set, done, total); };
    return hooks;
  }

  // The Python exception a signal handler raised (KeyboardInterrupt on
  // Ctrl-C), if the run was cancelled for one.
  const std::shared_ptr<py::error_already_set>& Pending() const { return m_Pending; }

  // Ends a progress line a run that throws leaves unfinished. Needs the GIL.
  void EndLine() {
    if (!m_LineOpen) return;
    m_LineOpen = false;
    WriteToStderr("\n");
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kPollInterval{50};
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  // Runs Python's signal handlers, at most every 50 ms; a handler that raises
  // (Ctrl-C) cancels the run and its exception is kept for the caller.
  bool Interrupted() {
    if (m_Pending) return true;
    const Clock::time_point now = Clock::now();
    if (now - m_LastPoll < kPollInterval) return false;
    m_LastPoll = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    m_Pending = std::make_shared<py::error_already_set>();
    return true;
  }

  // A tqdm-like line on sys.stderr, redrawn in place at most ten times a
  // second and ended with a line feed when the set is done.
  void ShowProgress(int set, uint64_t done, uint64_t total) {
    const Clock::time_point now = Clock::now();
    const bool newSet = set != m_Set;
    const bool finished = done >= total;
    if (newSet) {
      m_Set = set;
      m_SetStart = now;
    } else if (!finished && now - m_LastDraw < kRedrawInterval) {
      return;
    }
    if (finished && m_FinishedSet == set) return;
    m_LastDraw = now;
    if (finished) m_FinishedSet = set;

    constexpr int kBarWidth = 24;
    const int filled = total > 0 ? static_cast<int>(kBarWidth * done / total) : kBarWidth;
    const int percent = total > 0 ? static_cast<int>(100 * done / total) : 100;
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_SetStart).count();
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%02lld:%02lld", seconds / 60, seconds % 60);
    m_LineOpen = !finished;
    const std::string line = "\rSet " + std::to_string(set) + ": " + std::to_string(percent) + "%|" +
                             std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "| " +
                             std::to_string(done) + "/" + std::to_string(total) + " [" + elapsed + "]" +
                             (finished ? "\n" : "");
    py::gil_scoped_acquire gil;
    try {
      WriteToStderr(line);
    } catch (py::error_already_set&) {
      // A progress line that cannot be shown does not end the run.
    }
  }

  static void WriteToStderr(const std::string& text) {
    py::object stderrStream = py::module_::import("sys").attr("stderr");
    if (stderrStream.is_none()) return;
    stderrStream.attr("write")(text);
    stderrStream.attr("flush")();
  }

  bool m_Progress;
  bool m_LineOpen = false;
  std::shared_ptr<py::error_already_set> m_Pending;
  Clock::time_point m_LastPoll{};
  Clock::time_point m_LastDraw{};
  Clock::time_point m_SetStart{};
  int m_Set = 0;
  int m_FinishedSet = 0;
};

koru::Results Analyze(const py::dict& rows, const py::dict& options, bool progress) {
  const koru::Panel panel = MakePanel(rows);
  const koru::Settings settings = MakeSettings(options);
  RunHooks runHooks(progress);
  const koru::Hooks hooks = runHooks.Hooks();
  try {
    py::gil_scoped_release release;
    return koru::analyze(panel, settings, hooks);
  } catch (const koru::Cancelled&) {
    runHooks.EndLine();
    if (runHooks.Pending()) throw *runHooks.Pending();
    throw;
  } catch (...) {
    runHooks.EndLine();
    throw;
  }
}

// A row-major rows x columns array that takes over the vector's storage.
py::array_t<double> OwnedMatrix(std::vector<double>&& values, std::size_t rows, std::size_t columns) {
  auto* owned = new std::vector<double>(std::move(values));
  py::capsule release(owned, [](void* vector) { delete static_cast<std::vector<double>*>(vector); });
  return py::array_t<double>({rows, columns}, owned->data(), release);
}

// Replicates first .. first + count - 1 of the bootstrap, as a dict of plain
// values that pickles: first, count, measures, values (one count x NT array
// per measure, the engine's values unchanged, kMissing included) and failed.
// A process or machine that holds the same panel and settings computes any
// range; add_bootstrap puts the ranges together.
py::dict BootstrapReplicates(const py::dict& rows, const py::dict& options, uint32_t first, uint32_t count) {
  const koru::Panel panel = MakePanel(rows);
  const koru::Settings settings = MakeSettings(options);
  RunHooks runHooks(false);
  const koru::Hooks hooks = runHooks.Hooks();
  koru::BootstrapPart part;
  try {
    py::gil_scoped_release release;
    part = koru::bootstrap_replicates(panel, settings, first, count, hooks);
  } catch (const koru::Cancelled&) {
    if (runHooks.Pending()) throw *runHooks.Pending();
    throw;
  }
  const std::size_t observations = static_cast<std::size_t>(panel.firms) * panel.periods;
  py::list values;
  for (std::vector<double>& measure : part.values) values.append(OwnedMatrix(std::move(measure), part.count, observations));
  py::dict data;
  data["first"] = part.first;
  data["count"] = part.count;
  data["measures"] = part.measures;
  data["values"] = values;
  data["failed"] = part.failed;
  return data;
}

// Fills the bootstrap table of results from the parts BootstrapReplicates
// returned, in any order.
void AddBootstrap(koru::Results& results, const py::list& parts) {
  std::vector<koru::BootstrapPart> engineParts;
  for (const py::handle& item : parts) {
    const py::dict data = item.cast<py::dict>();
    koru::BootstrapPart part;
    part.first = data["first"].cast<uint32_t>();
    part.count = data["count"].cast<uint32_t>();
    part.measures = data["measures"].cast<std::vector<std::string>>();
    for (const py::handle& measure : data["values"]) part.values.push_back(ToVector(measure.cast<Values>()));
    part.failed = data["failed"].cast<uint64_t>();
    engineParts.push_back(std::move(part));
  }
  py::gil_scoped_release release;
  koru::add_bootstrap(results, engineParts);
}

// NaN where the file prints -9999 or prints nothing.
double ValueOrNan(double value, bool printed) {
  return printed && value != koru::kMissing ? value : std::numeric_limits<double>::quiet_NaN();
}

// A result table as (title, headings, values): values is observations x
// columns.
py::tuple TableData(const koru::Table& table, std::size_t observations) {
  py::array_t<double> values({observations, table.columns.size()});
  auto cells = values.mutable_unchecked<2>();
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    for (std::size_t o = 0; o < observations; ++o) {
      const bool printed = table.printed.empty() || table.printed[o];
      cells(o, c) = ValueOrNan(table.columns[c][o], printed);
    }
  }
  return py::make_tuple(table.title, table.headings, values);
}

std::size_t ObservationsOf(const koru::Results& results) {
  return static_cast<std::size_t>(results.panel.firms) * results.panel.periods;
}

// A row-major rows x columns matrix of the panel's values.
py::array_t<double> MatrixOf(const std::vector<double>& values, std::size_t rows, std::size_t columns) {
  py::array_t<double> array({rows, columns});
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

// One value per entry, NaN for kMissing where asked.
py::array_t<double> VectorOf(const std::vector<double>& values, bool missingAsNan) {
  py::array_t<double> array(static_cast<py::ssize_t>(values.size()));
  double* out = array.mutable_data();
  for (std::size_t i = 0; i < values.size(); ++i) out[i] = missingAsNan ? ValueOrNan(values[i], true) : values[i];
  return array;
}

py::array_t<bool> FlagsOf(const std::vector<bool>& flags) {
  py::array_t<bool> array(static_cast<py::ssize_t>(flags.size()));
  for (std::size_t i = 0; i < flags.size(); ++i) array.mutable_data()[i] = flags[i];
  return array;
}

// Whether each observation of the panel is present.
py::array_t<bool> PresentOf(const koru::Panel& panel) {
  std::vector<bool> present(static_cast<std::size_t>(panel.firms) * panel.periods);
  for (std::size_t o = 0; o < present.size(); ++o) present[o] = panel.IsPresent(o);
  return FlagsOf(present);
}

// The representative observation's values, name and entries, in file order.
py::list RepresentativeData(const koru::Results& results) {
  py::list list;
  for (const auto& [name, values] : results.representative) list.append(py::make_tuple(name, VectorOf(values, true)));
  return list;
}

py::object MatrixOrNone(const std::vector<double>& values, std::size_t rows, std::size_t columns) {
  if (values.empty()) return py::none();
  return MatrixOf(values, rows, columns);
}

// Every token a setting takes, in the order of its enumeration, for turning
// the settings read from an input file back into the tokens analyze takes.
const char* const kTechnologyTokens[] = {"each-period", "no-regress", "no-change"};

template <typename Enum, std::size_t Count, typename Parse>
std::string TokenOf(Enum value, const char* const (&tokens)[Count], Parse parse) {
  for (const char* token : tokens)
    if (parse(token) == value) return token;
  throw std::logic_error("no token for a setting read from the input file");
}

py::dict SettingsData(const koru::Settings& settings) {
  py::dict data;
  data["family"] = koru::family_token(settings.family);
  data["family_given"] = settings.familyGiven;
  data["rts"] = koru::returns_to_scale_token(settings.returnsToScale);
  data["technology"] = TokenOf(settings.technology, kTechnologyTokens, koru::technology_from_token);
  data["window"] = settings.window;
  data["base"] = settings.base;
  data["unit_means"] = settings.unitMeans;
  data["malmquist"] = settings.malmquist;
  data["bootstrap"] = settings.bootstrap;
  return data;
}

py::dict PanelData(const koru::Panel& panel) {
  const std::size_t observations = static_cast<std::size_t>(panel.firms) * panel.periods;
  py::dict data;
  data["firms"] = panel.firms;
  data["periods"] = panel.periods;
  data["output_quantities"] = MatrixOf(panel.outputQuantities, observations, panel.outputs);
  data["input_quantities"] = MatrixOf(panel.inputQuantities, observations, panel.inputs);
  data["output_prices"] = MatrixOrNone(panel.outputPrices, observations, panel.outputs);
  data["input_prices"] = MatrixOrNone(panel.inputPrices, observations, panel.inputs);
  data["id1"] = VectorOf(panel.id1, false);
  data["id2"] = VectorOf(panel.id2, false);
  data["heading"] = panel.idHeading;
  data["present"] = PresentOf(panel);
  return data;
}

py::list NotesData(const std::vector<koru::ProgramNote>& notes, bool failed) {
  py::list list;
  for (const koru::ProgramNote& note : notes) {
    if (failed)
      list.append(py::make_tuple(note.label, note.observation, note.code));
    else
      list.append(py::make_tuple(note.label, note.observation, note.gain));
  }
  return list;
}

py::array_t<uint32_t> NumbersOf(const std::vector<uint32_t>& values) {
  py::array_t<uint32_t> array(static_cast<py::ssize_t>(values.size()));
  std::copy(values.begin(), values.end(), array.mutable_data());
  return array;
}

// The peers table as (columns, observation, orientation, peer, lambda,
// lambda2): the frame's column names, then one entry per row (observations
// 1-based, NaN for kMissing).
py::tuple PeersData(const koru::Results& results) {
  const koru::PeersTable& table = results.peers;
  return py::make_tuple(koru::peers_columns(), NumbersOf(table.observation), table.orientation,
                        NumbersOf(table.peer), VectorOf(table.lambda, true), VectorOf(table.lambda2, true));
}

// The targets table as (key columns, observation, orientation, values):
// values is rows x (slacks then targets), NaN for kMissing.
py::tuple TargetsData(const koru::Results& results) {
  const koru::TargetsTable& table = results.targets;
  const std::size_t rows = table.observation.size();
  py::array_t<double> values({rows, table.columns.size()});
  auto cells = values.mutable_unchecked<2>();
  for (std::size_t c = 0; c < table.columns.size(); ++c)
    for (std::size_t r = 0; r < rows; ++r) cells(r, c) = ValueOrNan(table.columns[c][r], true);
  return py::make_tuple(koru::targets_key_columns(), NumbersOf(table.observation), table.orientation, values);
}

// The class of koru.InputError; the module keeps it alive.
PyObject* inputErrorType = nullptr;

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \n") - first + 1);
}

}  // namespace

PYBIND11_MODULE(_koru, m) {
  m.doc() = "The KORU engine; use it through the koru package.";
  m.attr("kMissing") = koru::kMissing;
  m.def("version", &koru::version);

  // Engine refusals: InputError is a ValueError (its message without the
  // blank lines and indentation that set it off on the console), WriteError
  // an OSError.
  inputErrorType = py::exception<koru::InputError>(m, "InputError", PyExc_ValueError).release().ptr();
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const koru::InputError& error) {
      PyErr_SetString(inputErrorType, Trimmed(error.what()).c_str());
    }
  });
  py::register_exception<koru::WriteError>(m, "WriteError", PyExc_OSError);
  py::register_exception<koru::Cancelled>(m, "Cancelled", PyExc_RuntimeError);

  py::class_<koru::Results>(m, "Results")
      .def_property_readonly("observations", &ObservationsOf)
      .def_property_readonly("firms", [](const koru::Results& r) { return r.panel.firms; })
      .def_property_readonly("periods", [](const koru::Results& r) { return r.panel.periods; })
      .def("table",
           [](const koru::Results& r, const std::string& which) {
             const std::size_t n = ObservationsOf(r);
             if (which == "indexes") return TableData(r.indexes, n);
             if (which == "levels") return TableData(r.levels, n);
             if (which == "shadow_prices") return TableData(r.shadowPrices, n);
             if (which == "extras") return TableData(r.extras, n);
             if (which == "malmquist") return TableData(r.malmquist, n);
             if (which == "bootstrap") return TableData(r.bootstrap, n);
             throw py::key_error(which);
           })
      .def_property_readonly("peers_asked", [](const koru::Results& r) { return r.settings.peers; })
      .def_property_readonly("peers", &PeersData)
      .def_property_readonly("targets", &TargetsData)
      .def_property_readonly("at_max_tfp", [](const koru::Results& r) { return FlagsOf(r.atMaxTfp); })
      .def_property_readonly("present", [](const koru::Results& r) { return PresentOf(r.panel); })
      .def_property_readonly("representative", &RepresentativeData)
      .def_property_readonly("failed", [](const koru::Results& r) { return NotesData(r.failed, true); })
      .def_property_readonly("stopped_short",
                             [](const koru::Results& r) { return NotesData(r.stoppedShort, false); })
      .def_property_readonly("note", [](const koru::Results& r) { return r.note; })
      .def_property_readonly("warning", [](const koru::Results& r) { return r.warning; })
      .def_property_readonly("summary", [](const koru::Results& r) { return r.summary; })
      .def_property_readonly("programs_solved", [](const koru::Results& r) { return r.programsSolved; })
      .def_property_readonly("programs_failed", [](const koru::Results& r) { return r.programsFailed; })
      .def_property_readonly("malmquist_outside", [](const koru::Results& r) { return r.malmquistOutside; })
      .def_property_readonly("bootstrap_failed", [](const koru::Results& r) { return r.bootstrapFailed; })
      .def_property_readonly("settings", [](const koru::Results& r) { return SettingsData(r.settings); })
      .def(
          "write",
          [](const koru::Results& r, const std::string& baseName) {
            py::gil_scoped_release release;
            koru::write_result_files(r, baseName);
          },
          py::arg("base_name"))
      .def(
          "report",
          [](const koru::Results& r, const std::string& path) {
            py::gil_scoped_release release;
            koru::write_report(r, path);
          },
          py::arg("path"));

  m.def("target_headings", &koru::target_headings, py::arg("outputs"), py::arg("inputs"));
  m.def("analyze", &Analyze, py::arg("rows"), py::arg("options"), py::arg("progress"));
  m.def("bootstrap_replicates", &BootstrapReplicates, py::arg("rows"), py::arg("options"), py::arg("first"),
        py::arg("count"));
  m.def("add_bootstrap", &AddBootstrap, py::arg("results"), py::arg("parts"));
  m.def("bootstrap_measures",
        [](const py::dict& options) { return koru::bootstrap_measures(MakeSettings(options)); }, py::arg("options"));
  m.def("bootstrap_statistics", &koru::bootstrap_statistics);

  m.def("read_input", [](const std::string& path) {
    koru::InputFile file;
    {
      py::gil_scoped_release release;
      file = koru::read_input_file(path);
    }
    return py::make_tuple(PanelData(file.panel), SettingsData(file.settings));
  });

  m.def("write_input", [](const std::string& path, const py::dict& rows, const py::dict& options) {
    const koru::Panel panel = MakePanel(rows);
    const koru::Settings settings = MakeSettings(options);
    py::gil_scoped_release release;
    koru::write_input_file(path, panel, settings);
  });
}
