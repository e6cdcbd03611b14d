// propagon._core: the bindings behind the Python package `propagon`.
//
// The run goes through the same session as `polykin-cli run` (ExecuteRun) on
// the program-wide simulation state, so one run at a time per process; it
// releases the GIL and takes it back only to poll for Ctrl+C (the signal
// handlers of Python run on the main thread) and to call the progress
// callback. The pure-Python package wraps the dictionaries returned here.

#include "cli/uOverrides.h"
#include "cli/uReplicas.h"
#include "cli/uRunCommand.h"
#include "cli/uRunSession.h"
#include "params/uLogMessage.h"
#include "params/uMessageReporter.h"
#include "params/uParamFile.h"
#include "params/uRunChecks.h"
#include "python/uPythonResult.h"
#include "shell/uLibraryProbe.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>

namespace py = pybind11;

namespace PyPropagon {

namespace {

// The message log of a run, kept for Result.log (lines arrive from the
// simulation thread and from the calling one).
class TCollectingSink : public Propagon::TLogSink {
public:
  void LogLine(const std::string& line) override {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
      text += line[i];
    }
    std::lock_guard lock(FMutex);
    FLines.push_back(std::move(text));
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(FMutex);
    return std::move(FLines);
  }

private:
  std::mutex FMutex;
  std::vector<std::string> FLines;
};

// The simulation state is program-wide: a second run from another Python
// thread is refused instead of waiting for the first.
std::mutex GRunMutex;

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

template <class T>
py::array_t<T> ToArray(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::dict CheckPointTable(const std::vector<Cli::TCheckPointRow>& rows) {
  const std::size_t n = rows.size();
  std::vector<std::vector<double>> real(Cli::CheckPointColumns.size(), std::vector<double>(n));
  std::vector<std::vector<std::int64_t>> whole(Cli::CheckPointColumns.size(), std::vector<std::int64_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    const Cli::TCheckPointRow& r = rows[i];
    whole[0][i] = r.CheckPoint;
    real[1][i] = r.Time;
    whole[2][i] = r.Initiator;
    whole[3][i] = r.DeadChains;
    whole[4][i] = r.MonomerA;
    whole[5][i] = r.MonomerB;
    real[6][i] = r.Conversion;
    real[7][i] = r.ACenters;
    real[8][i] = r.BCenters;
    for (std::size_t j = 0; j < 4; ++j) real[9 + j][i] = r.Dyads[j];
    real[13][i] = r.DP.DPn;
    real[14][i] = r.DP.DPw;
    real[15][i] = r.DP.DPz;
    real[16][i] = r.DP.Dispersity;
    real[17][i] = r.Mn;
    real[18][i] = r.Mw;
  }
  py::dict table;
  for (std::size_t c = 0; c < Cli::CheckPointColumns.size(); ++c) {
    const bool integer = c == 0 || (c >= 2 && c <= 5);
    table[py::str(Cli::CheckPointColumns[c])] = integer ? py::object(ToArray(whole[c])) : py::object(ToArray(real[c]));
  }
  return table;
}

py::dict SummaryDict(const Cli::TRunSummary& s) {
  py::dict d;
  d["process_type"] = s.ProcessType;
  d["chains"] = s.Chains;
  d["checkpoints"] = s.CheckPoints;
  d["seed"] = s.Seed;
  d["steps"] = s.Steps;
  d["events"] = s.Events;
  d["wall_seconds"] = s.WallSeconds;
  d["events_per_second"] = s.WallSeconds > 0.0 ? static_cast<double>(s.Events) / s.WallSeconds : 0.0;
  d["steps_per_second"] = s.WallSeconds > 0.0 ? static_cast<double>(s.Steps) / s.WallSeconds : 0.0;
  d["conversion"] = s.Conversion;
  d["Mn"] = s.Mn;
  d["Mw"] = s.Mw;
  d["DPn"] = s.DPn;
  d["dispersity"] = s.Dispersity;
  d["status"] = s.Status;
  return d;
}

// The broadened trace at track-bar position `position` (1 .. 200), or at
// width `sigma` decades when given: (log10 M, signal) for grid points 0 .. 999.
py::tuple SecCurve(Plots::TSECTrace& trace, bool hasWeight, int position, std::optional<double> sigma) {
  if (sigma && !(*sigma > 0.0)) throw py::value_error("sigma must be a positive width in decades of M");
  if (!sigma && (position < Plots::BroadeningMinimum || position > Plots::BroadeningMaximum))
    throw py::value_error("broadening must be a track-bar position from 1 to 200");
  std::vector<double> x, y;
  if (hasWeight) {
    trace.Broaden(sigma ? *sigma : Plots::BroadeningSigma(position));
    for (int k = 0; k < Plots::SECGridLast; ++k) {
      x.push_back(trace.X()[static_cast<std::size_t>(k)]);
      y.push_back(trace.Y()[static_cast<std::size_t>(k)]);
    }
  }
  return py::make_tuple(ToArray(x), ToArray(y));
}

py::dict RunToPython(TRunData& data) {
  py::dict d;
  d["checkpoints"] = CheckPointTable(data.Outcome.Rows);
  d["summary"] = SummaryDict(data.Outcome.Summary);
  d["log"] = data.Log;
  py::dict dp;
  std::vector<std::int64_t> index(data.DPCounts.size());
  for (std::size_t i = 0; i < index.size(); ++i) index[i] = static_cast<std::int64_t>(i);
  dp["DP"] = ToArray(index);
  dp["chains"] = ToArray(data.DPCounts);
  d["dp_distribution"] = dp;
  py::dict mass;
  mass["mass"] = ToArray(data.Mass.Mass);
  mass["number"] = ToArray(data.Mass.Number);
  mass["weight"] = ToArray(data.Mass.Weight);
  d["mass_distribution"] = mass;
  std::shared_ptr<Plots::TSECTrace> trace = data.Sec;
  const bool hasWeight = data.HasSec;
  d["sec"] = py::cpp_function([trace, hasWeight](int position, std::optional<double> sigma) {
    return SecCurve(*trace, hasWeight, position, sigma);
  }, py::arg("broadening") = Plots::BroadeningInitial, py::arg("sigma") = py::none());
  if (data.HasChains) {
    py::dict chains;
    chains["sequences"] = ToArray(data.Chains.Sequences);
    chains["offsets"] = ToArray(data.Chains.Offsets);
    chains["DP"] = ToArray(data.Chains.DP);
    chains["head"] = ToArray(data.Chains.Head);
    d["chains"] = chains;
  } else {
    d["chains"] = py::none();
  }
  return d;
}

py::dict Run(const std::string& path, std::optional<std::uint32_t> seed, bool chains, py::object progress) {
  std::unique_lock running(GRunMutex, std::try_to_lock);
  if (!running.owns_lock()) throw std::runtime_error("A simulation is still running");
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    PyErr_SetString(PyExc_FileNotFoundError, ("Cannot open \"" + path + "\": no such file").c_str());
    throw py::error_already_set();
  }
  std::ostringstream messages;
  Params::TStreamReporter reporter(messages);
  Params::TParameterFile file(path);
  if (!file.CheckFileValid(reporter)) throw py::value_error(Trimmed(messages.str()));
  // A process type without a kernel or check points not starting at 0: no run.
  if (const std::string problem = Params::RunnableFileProblem(file); !problem.empty()) throw py::value_error(problem);

  // What stopped the run from Python: Ctrl+C, or an exception of the
  // progress callback (kept to be raised again once the run has ended).
  std::string stopReason;
  py::object stopError = py::none();
  Cli::TRunSessionOptions session;
  session.Seed = seed;
  session.StopRequested = [&stopReason, &stopError] {
    if (!stopReason.empty()) return true;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
      // The KeyboardInterrupt (or what a signal handler raised) is raised
      // again by the wrapper once the run has ended, with the result.
      py::error_already_set e;
      stopReason = "signal";
      stopError = e.value();
    }
    return !stopReason.empty();
  };
  if (!progress.is_none()) {
    session.Progress = [&progress, &stopReason, &stopError](const Cli::TRunProgress& p) {
      if (!stopReason.empty()) return;
      py::gil_scoped_acquire gil;
      py::dict report;
      report["fraction"] = p.Fraction;
      report["time"] = p.Time;
      report["last_time"] = p.LastTime;
      report["events_per_second"] = p.EventsPerSecond;
      report["summary"] = p.Summary;
      try {
        progress(report);
      } catch (py::error_already_set& e) {
        stopReason = "callback";
        stopError = e.value();
      }
    };
  }

  TRunData data;
  {
    TCollectingSink sink;
    {
      py::gil_scoped_release release;
      Propagon::TLogSinkGuard guard(&sink);
      data.Outcome = Cli::ExecuteRun(file, reporter, session);
      if (data.Outcome.Started) TakeFinalState(data, chains);
    }
    data.Log = sink.Take();
  }
  if (!data.Outcome.Started) {
    const std::string text = data.Outcome.Error.empty() ? Trimmed(messages.str()) : data.Outcome.Error;
    if (data.Outcome.Code == Cli::ExitLowMemory) {
      PyErr_SetString(PyExc_MemoryError, text.c_str());
      throw py::error_already_set();
    }
    throw std::runtime_error(text);
  }
  py::dict result = RunToPython(data);
  result["stop_reason"] = stopReason.empty() ? py::object(py::none()) : py::object(py::str(stopReason));
  result["stop_error"] = stopError;
  result["failure"] = data.Outcome.Failed ? py::object(py::str(data.Outcome.FailureMessage)) : py::object(py::none());
  result["messages"] = Trimmed(messages.str());
  return result;
}

// Returns the messages of `prepare`; raises with its error texts.
std::string Prepare(const std::string& input, const std::string& output,
                    const std::vector<std::pair<std::string, std::string>>& overrides, const std::string& library) {
  std::vector<Cli::TOverride> list;
  for (const auto& [name, value] : overrides) {
    Cli::TOverride o;
    std::string error;
    if (!Cli::ParseOverrideName(name, o.Section, o.Key, error)) throw py::value_error(error);
    o.Value = value;
    list.push_back(std::move(o));
  }
  // The library is tried in a child process before it is loaded; the
  // interpreter cannot be that child, polykin-cli beside the library can.
  const std::filesystem::path probe = std::filesystem::path(library).parent_path() / "polykin-cli";
  std::error_code ec;
  if (std::filesystem::is_regular_file(probe, ec)) Shell::SetLibraryProbeProgram(probe.string());
  std::ostringstream out, err;
  const int code = Cli::PrepareWithOverrides(input, output, list, library, out, err);
  const std::string text = Trimmed(err.str());
  switch (code) {
  case 0:
    return Trimmed(out.str() + (text.empty() ? "" : "\n" + text));
  case 2:
    throw py::value_error(text);
  case 3:
    throw std::runtime_error(text);
  default:
    PyErr_SetString(PyExc_OSError, text.c_str());
    throw py::error_already_set();
  }
}

// The replicas as `polykin-cli run --replicas` runs them, each in a process
// of `program`; Ctrl+C stops them.
py::dict RunReplicas(const std::string& path, unsigned count, std::optional<unsigned> jobs,
                     std::optional<std::uint32_t> seed, const std::string& outDir, bool chains,
                     const std::string& program) {
  if (count < 1) throw py::value_error("n must be at least 1");
  if (jobs && *jobs < 1) throw py::value_error("jobs must be at least 1");
  Cli::TReplicaOptions options;
  options.File = path;
  options.OutDir = outDir;
  options.Replicas = count;
  options.Jobs = jobs.value_or(0);
  options.Seed = seed;
  if (chains) options.ReplicaArguments.push_back("--chains");
  options.Program = program;
  options.Quiet = true;
  py::object stopError = py::none();
  options.StopRequested = [&stopError] {
    if (!stopError.is_none()) return true;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return false;
    py::error_already_set e;
    stopError = e.value();
    return true;
  };
  std::ostringstream out, err;
  Cli::TReplicaOutcome outcome;
  {
    py::gil_scoped_release release;
    outcome = Cli::RunReplicas(options, out, err);
  }
  py::dict d;
  d["code"] = outcome.Code;
  d["messages"] = Trimmed(err.str());
  d["first_seed"] = outcome.FirstSeed;
  d["folders"] = outcome.Folders;
  d["ensemble"] = outcome.EnsembleDir;
  d["stop_error"] = stopError;
  return d;
}

} // namespace

} // namespace PyPropagon

PYBIND11_MODULE(_core, m) {
  m.doc() = "Propagon's Monte Carlo simulation of polymerization processes (use the package propagon)";
  m.def("prepare", &PyPropagon::Prepare, py::arg("input"), py::arg("output"), py::arg("overrides"),
        py::arg("library"));
  m.def("run", &PyPropagon::Run, py::arg("path"), py::arg("seed") = py::none(), py::arg("chains") = false,
        py::arg("progress") = py::none());
  m.def("run_replicas", &PyPropagon::RunReplicas, py::arg("path"), py::arg("n"), py::arg("jobs"), py::arg("seed"),
        py::arg("out"), py::arg("chains"), py::arg("program"));
}
