#include "app/Options.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/Format.h"
#include "lp/SimplexKernels.h"
#include "lp/WorkerPool.h"

// The version comes from the build, which takes it from CMakeLists.txt.
#ifndef KORU_VERSION
#error "KORU_VERSION is not defined: the build passes the project version"
#endif
#ifndef KORU_BUILD_TYPE
#define KORU_BUILD_TYPE "unknown"
#endif

namespace {

CommandLine UsageError(const std::string& problem) {
  CommandLine line;
  line.action = CommandLine::Action::UsageError;
  line.problem = problem;
  return line;
}

// A whole number of worker threads, 1..kMaxThreads, digits only.
bool ParseThreads(const std::string& text, unsigned& threads) {
  if (text.empty() || text.size() > 4) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > kMaxThreads) return false;
  threads = value;
  return true;
}

// A whole number 1..max, digits only.
bool ParseCount(const std::string& text, uint64_t max, uint64_t& count) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  count = value;
  return true;
}

// A number strictly between 0 and 1, read whole.
bool ParseLevel(const std::string& text, double& alpha) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(value > 0.0 && value < 1.0)) return false;
  alpha = value;
  return true;
}

std::string CompilerName() {
#if defined(__clang__)
  return "clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#else
  return "unknown";
#endif
}

// The comma-separated names of a list option.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> names;
  std::string name;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ',') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += text[i];
    }
  }
  return names;
}

// An option of the plain table and where its value goes.
struct TableOption {
  const char* name;
  std::string* text;
  std::vector<std::string>* list;
  bool* flag;
};

template <std::size_t Count>
TableOption* FindTableOption(TableOption (&options)[Count], const std::string& name) {
  for (TableOption& option : options)
    if (name == option.name) return &option;
  return nullptr;
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  TableOptions& t = line.options.table;
  TableOption tableOptions[] = {
      {"--table", &t.path, nullptr, nullptr},          {"--firm", &t.firm, nullptr, nullptr},
      {"--period", &t.period, nullptr, nullptr},       {"--outputs", nullptr, &t.outputs, nullptr},
      {"--inputs", nullptr, &t.inputs, nullptr},       {"--output-prices", nullptr, &t.outputPrices, nullptr},
      {"--input-prices", nullptr, &t.inputPrices, nullptr}, {"--family", &t.family, nullptr, nullptr},
      {"--rts", &t.rts, nullptr, nullptr},             {"--technology", &t.technology, nullptr, nullptr},
      {"--window", &t.window, nullptr, nullptr},       {"--base", &t.base, nullptr, nullptr},
      {"--out", &t.out, nullptr, nullptr},             {"--unit-means", nullptr, nullptr, &t.unitMeans},
  };

  bool optionsEnded = false;
  bool bootstrapTuned = false;  // --seed or --alpha given
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (line.hasPath) return UsageError("more than one path: '" + line.path + "' and '" + arg + "'");
      line.hasPath = true;
      line.path = arg;
      continue;
    }
    if (line.hasPath) return UsageError("option '" + arg + "' after the path; options come first");
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.compare(0, 2, "--") == 0 ? arg.substr(0, equals) : arg;
    const bool hasValue = name.size() < arg.size();
    // An option's value: after '=' in the same argument, or the next argument.
    const auto takeValue = [&](std::string& value) {
      if (hasValue) {
        value = arg.substr(equals + 1);
        return true;
      }
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    if (name == "--threads") {
      std::string value;
      if (!takeValue(value)) return UsageError("option '--threads' needs a value");
      if (!ParseThreads(value, line.options.threads))
        return UsageError("bad value '" + value + "' for '--threads', which takes a whole number from 1 to " +
                          std::to_string(kMaxThreads));
      continue;
    }
    if (name == "--bootstrap" || name == "--seed" || name == "--alpha") {
      std::string value;
      if (!takeValue(value)) return UsageError("option '" + name + "' needs a value");
      uint64_t count = 0;
      RunOptions& options = line.options;
      if (name != "--bootstrap") bootstrapTuned = true;
      if (name == "--bootstrap") {
        if (!ParseCount(value, kMaxReplicates, count) || count == 0)
          return UsageError("bad value '" + value +
                            "' for '--bootstrap', which takes a whole number of replicates from 1 to " +
                            std::to_string(kMaxReplicates));
        options.bootstrap = static_cast<uint32_t>(count);
      } else if (name == "--seed") {
        if (!ParseCount(value, UINT64_MAX, options.seed))
          return UsageError("bad value '" + value + "' for '--seed', which takes a whole number from 0 to " +
                            std::to_string(UINT64_MAX));
      } else if (!ParseLevel(value, options.alpha)) {
        return UsageError("bad value '" + value + "' for '--alpha', which takes a number between 0 and 1");
      }
      continue;
    }
    if (TableOption* option = FindTableOption(tableOptions, name)) {
      std::string value;
      if (option->flag != nullptr) {
        if (hasValue) return UsageError("option '" + name + "' takes no value");
        *option->flag = true;
        continue;
      }
      if (!takeValue(value)) return UsageError("option '" + name + "' needs a value");
      if (option->text != nullptr) *option->text = value;
      if (option->list != nullptr) *option->list = SplitList(value);
      if (name == "--table") line.options.table.given = true;
      continue;
    }
    if (name == "-h" || name == "--help" || name == "--version" || name == "--batch" || name == "--report" ||
        name == "--single-solve" || name == "--malmquist" || name == "--peers") {
      if (hasValue) return UsageError("option '" + name + "' takes no value");
      if (name == "-h" || name == "--help") {
        line.action = CommandLine::Action::Help;
        return line;
      }
      if (name == "--version") {
        line.action = CommandLine::Action::Version;
        return line;
      }
      if (name == "--batch") line.options.batch = true;
      if (name == "--report") line.options.report = true;
      if (name == "--single-solve") line.options.singleSolve = true;
      if (name == "--malmquist") line.options.malmquist = true;
      if (name == "--peers") line.options.peers = true;
      continue;
    }
    return UsageError("unknown option '" + arg + "'");
  }
  const TableOptions& table = line.options.table;
  if (table.given) {
    if (line.hasPath) return UsageError("a path and --table: give one of them");
    if (table.firm.empty() || table.period.empty() || table.outputs.empty() || table.inputs.empty())
      return UsageError("--table needs --firm, --period, --outputs and --inputs");
    if (table.outputPrices.empty() != table.inputPrices.empty())
      return UsageError("--output-prices and --input-prices go together");
    return line;
  }
  if (!table.firm.empty() || !table.period.empty() || !table.outputs.empty() || !table.inputs.empty() ||
      !table.outputPrices.empty() || !table.inputPrices.empty() || !table.family.empty() || !table.rts.empty() ||
      !table.technology.empty() || !table.window.empty() || !table.base.empty() || !table.out.empty() ||
      table.unitMeans)
    return UsageError("the options of a plain table need --table");
  if (line.options.batch && !line.hasPath) return UsageError("--batch needs a path");
  if (line.options.bootstrap == 0 && bootstrapTuned)
    return UsageError("--seed and --alpha need --bootstrap");
  return line;
}

std::string HelpText() {
  return "Usage: koru [OPTIONS] [--] [PATH]\n"
         "       koru [OPTIONS] --table FILE --firm F --period P --outputs Y --inputs X\n"
         "\n"
         "Measures and decomposes the productivity change of a panel of firms. PATH\n"
         "names the input file, name_input.csv; without it KORU asks for one on the\n"
         "console (an empty line cancels).\n"
         "\n"
         "Options:\n"
         "  -h, --help       print this help and exit\n"
         "      --version    print the version and the build and exit\n"
         "      --threads N  solve the linear programs on N worker threads (1 to " +
         std::to_string(kMaxThreads) +
         ";\n"
         "                   default: one per processor the process may use)\n"
         "      --batch      never wait for ENTER and never ask for a path (PATH is\n"
         "                   then required); the run is that of standard input at\n"
         "                   its end\n"
         "      --report     also write name_output_report.html, a page of charts of\n"
         "                   the decomposition by period\n"
         "      --malmquist  also compute the Malmquist index and its efficiency and\n"
         "                   technical change and write name_output_malmquist.csv\n"
         "      --single-solve\n"
         "                   solve every linear program once: a program the solver\n"
         "                   gets wrong is not solved again on a rescaled copy, so\n"
         "                   the files are byte for byte those of earlier versions\n"
         "      --table FILE --firm COL --period COL --outputs A,B --inputs C,D\n"
         "                   read a plain CSV table (a header row naming the columns)\n"
         "                   instead of an input file, with --output-prices P,Q\n"
         "                   --input-prices R,S, --family F, --rts vrs|crs,\n"
         "                   --technology each-period|no-regress|no-change, --window W,\n"
         "                   --base FIRM,PERIOD, --unit-means and --out BASE (the result\n"
         "                   files' base name; default: FILE without .csv)\n"
         "      --peers      also write name_output_peers.csv: each observation's\n"
         "                   peers with their weights, slacks and targets\n"
         "      --bootstrap B\n"
         "                   also bootstrap OTE and ITE (and with --malmquist M, EC, TC):\n"
         "                   B replicates of the smoothed bootstrap with reflection;\n"
         "                   writes name_output_bootstrap.csv: bias-corrected values,\n"
         "                   standard errors and intervals. Needs each period's own\n"
         "                   technology with Window 1, or NoTechChange (not with\n"
         "                   --malmquist)\n"
         "      --seed S     the bootstrap's random streams' seed (default 1)\n"
         "      --alpha A    the bootstrap intervals' level 1 - A (default 0.05)\n"
         "  --               end of the options: a PATH after it may start with '-'\n"
         "\n"
         "Files a run writes beside name_input.csv:\n"
         "  name_output_indexes.csv       the index numbers of every observation\n"
         "  name_output_levels.csv        the levels (Q, X, TFP, TFP*, efficiencies)\n"
         "  name_output_shadowprices.csv  revenue- and cost-deflated shadow prices\n"
         "  name_output_xtras.csv         intermediate values\n"
         "  name_output_xxerrors.txt      one entry per linear program that failed\n"
         "  name_output_report.html       with --report only\n"
         "  name_output_malmquist.csv     with --malmquist only\n"
         "  name_output_peers.csv         with --peers only\n"
         "  name_output_bootstrap.csv     with --bootstrap only\n"
         "\n"
         "Exit status:\n"
         "  0  the run finished (failed programs are listed in the error log), or\n"
         "     the path question was cancelled\n"
         "  1  the run stopped without its results: an input file that cannot be\n"
         "     read or is malformed, a READ ERROR, the observation limit, a result\n"
         "     file that cannot be written, a critical exit\n"
         "  2  a usage error: an unknown option, a missing or bad value\n"
         "  130, 143, 129  interrupted by SIGINT, SIGTERM or SIGHUP\n"
         "A run replaces its files only when it finishes; until then the earlier\n"
         "ones stay as they were.\n"
         "\n"
         "Environment:\n"
         "  KORU_STATS  when set, a finished run writes one line of solver totals to\n"
         "              standard error\n";
}

std::string VersionText() {
  return FormatText("KORU %s\n"
                    "Compiler: %s\n"
                    "Build type: %s\n"
                    "Vector path: %s\n"
                    "Default threads: %u\n",
                    KORU_VERSION, CompilerName().c_str(), KORU_BUILD_TYPE, VectorPathName(ActiveVectorPath()), DefaultThreadCount());
}

std::string UsageErrorLine(const std::string& problem) {
  return "koru: " + problem + " (run 'koru --help' for usage)\n";
}
