// quarvel-cli batch.
#include <QCoreApplication>
#include <QFileInfo>

#include <memory>

#include "base/config/quiet_output.h"
#include "base/files/data_folder.h"
#include "base/records/csv.h"
#include "base/records/history.h"
#include "batch/batch_runner.h"
#include "batch/progress.h"
#include "cli/batch_engine.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/system.h"
#include "platform/system/files.h"
#include "platform/system/process.h"
#include "platform/system/stop_requests.h"

namespace quarvel::cli {
namespace {

constexpr int kMaxJobs = 16;
constexpr int kMaxRate = 60000;
// One lookup a day: a slower pace would wait past what a timer can count.
constexpr double kMinRate = 1.0 / (24 * 60);
constexpr int kMaxRetries = 10;

struct BatchOptions {
  QString input;
  QString output;
  bool retryFailed = false;
  bool jsonProgress = false;
  bool quiet = false;
  BatchSettings settings;
};

// Hands each row on, and shows it in the progress too once it is written.
class ShownRows : public csv::RowSink {
 public:
  ShownRows(csv::RowSink& rows, Progress& progress) : rows_(rows), progress_(progress) {}
  bool Write(const QByteArray& row) override { return Show(rows_.Write(row), row); }
  bool WriteRow(int index, const QByteArray& row) override {
    return Show(rows_.WriteRow(index, row), row);
  }
  QString Error() const override { return rows_.Error(); }

 private:
  bool Show(bool written, const QByteArray& row) {
    csv::Reader reader(row);
    QStringList fields;
    if (written && reader.Next(&fields) == csv::Reader::Status::Record) progress_.Row(fields);
    return written;
  }
  csv::RowSink& rows_;
  Progress& progress_;
};

// The outcomes that --retry-failed looks up again: what a bad moment (a page
// that hung, a crash, a picture that did not come) cost, not an answer.
const QStringList& RetriedOutcomes() {
  static const QStringList outcomes = UndecidedOutcomeNames();
  return outcomes;
}

int RunBatch(int& argc, char** argv, const Config& config, const BatchOptions& options) {
  QString error;
  const std::optional<QStringList> entries = ReadEntries(options.input, &error);
  if (!entries) {
    Error(error);
    return 2;
  }
  if (!options.output.isEmpty() && options.input != QLatin1String("-")) {
    const QFileInfo in(options.input), out(options.output);
    if (out.exists() && in.canonicalFilePath() == out.canonicalFilePath())
      return Usage(QStringLiteral("the output %1 is the input").arg(options.output));
  }

  if (const QString problem = EngineStartProblem(); !problem.isEmpty()) {
    Error(QStringLiteral("batch: ") + problem);
    return 1;
  }
  // The seam where the lookup engine comes in: one engine a job, all in this
  // process, at a batch's pace (no pause holds the others).
  QString reason;
  const std::optional<BatchEngine> engine = LoadBatchEngine(config, options.settings.path, &reason);
  if (!engine) {
    Error(QStringLiteral("batch: ") + reason);
    return 2;
  }
  // Looked up once: an unusable folder is reported once, and the batch goes
  // on without keeping pictures or recording lookups. Nothing is written
  // anywhere else instead.
  QString dataProblem;
  const QString dataFolder = DataFolder(&dataProblem);
  if (dataFolder.isEmpty())
    Error(dataProblem + QStringLiteral("; pictures are not kept and lookups are not recorded"));
  const std::unique_ptr<QCoreApplication> app = engine->makeApplication(argc, argv);
  const EntryLookupFactory& factory = engine->makeLookup;

  csv::OutputFile file;
  csv::FdSink standardOutput(system::kStandardOutput, false);
  csv::RowSink* sink = &standardOutput;
  QStringList done;
  if (!options.output.isEmpty()) {
    if (options.retryFailed && !QFileInfo::exists(options.output))
      return Usage(QStringLiteral("--retry-failed wants an existing output (%1 is not there)")
                       .arg(options.output));
    if (!file.Open(options.output, csv::BatchHeader(), &error,
                   options.retryFailed ? RetriedOutcomes() : QStringList(),
                   csv::OlderBatchOutput())) {
      Error(error);
      return 2;
    }
    sink = &file;
    done = file.Done();
  } else if (!standardOutput.Write(csv::FormatRecord(csv::BatchHeader()))) {
    return OutputFailed(standardOutput);
  }
  // Rows to look up again come first, and take their own places.
  const QStringList todo = file.Retry() + EntriesToDo(*entries, done);

  // The runner's messages come without the program's name: it is put in
  // front of them here.
  Progress progress([](const QByteArray& text) { Write(stderr, text); },
                    ProgressOnTerminal(!options.output.isEmpty()),
                    static_cast<int>(entries->size()),
                    static_cast<int>(entries->size() - todo.size()), MessagePrefix());
  Progress* reportTo = nullptr;
  std::optional<History> history;
  if (!dataFolder.isEmpty())
    history.emplace(dataFolder, [&reportTo](const QString& message) {
      if (reportTo)
        reportTo->Message(message);
      else
        Error(message);
    });
  reportTo = &progress;
  std::optional<ShownRows> shown;
  if (options.quiet) progress.BeQuiet();
  if (options.jsonProgress) {
    progress.UseJson();
    sink = &shown.emplace(*sink, progress);
  }

  BatchSettings settings = options.settings;
  if (!dataFolder.isEmpty()) {
    settings.pictureFolder = DataSubfolder(dataFolder, QStringLiteral("pictures"), &dataProblem);
    if (settings.pictureFolder.isEmpty())
      Error(dataProblem + QStringLiteral("; pictures are not kept"));
  }
  BatchRunner runner(settings, factory, sink, history ? &*history : nullptr, &progress);
  const int status = runner.Run(todo);
  if (status == system::kClosedPipeStatus) return status;
  if (status > 128) {
    const int left = static_cast<int>(todo.size()) - runner.Finished();
    progress.Message(QStringLiteral("stopped by %1; %2 of %3 entries not looked up yet%4")
                         .arg(status == 128 + system::kInterruptRequest ? QStringLiteral("SIGINT")
                                                                        : QStringLiteral("SIGTERM"))
                         .arg(left)
                         .arg(entries->size())
                         .arg(options.output.isEmpty()
                                  ? QString()
                                  : QStringLiteral("; run the same command again to continue")));
  }
  if (status != 0) return status;
  // Rows of the output from before that leave the question open, and are
  // not looked up again now, count as well as this run's.
  int undecided = runner.Undecided();
  for (const QString& outcome : file.Outcomes())
    if (RetriedOutcomes().contains(outcome)) ++undecided;
  undecided -= static_cast<int>(file.Retry().size());
  if (undecided == 0) return 0;
  progress.Error(QStringLiteral("%1 of %2 entries ended without a decision (%3)%4")
                     .arg(undecided)
                     .arg(entries->size())
                     .arg(RetriedOutcomes().join(QStringLiteral(" or ")))
                     .arg(options.output.isEmpty()
                              ? QString()
                              : QStringLiteral("; --retry-failed looks them up again")));
  return 1;
}

int RunBatchCommand(Invocation& invocation) {
  const QCommandLineParser& parser = invocation.parser;
  const QStringList& positional = invocation.arguments;
  BatchOptions options;
  if (positional.size() != 1)
    return Usage(positional.isEmpty() ? QStringLiteral("batch wants an INPUT file")
                                      : QStringLiteral("batch wants one INPUT file"));
  options.input = positional.first();
  const QString output = QStringLiteral("output");
  options.output = parser.value(output);
  if (parser.isSet(output) && options.output.isEmpty())
    return Usage(QStringLiteral("--output wants a file name"));
  options.retryFailed = parser.isSet(QStringLiteral("retry-failed"));
  if (const QString progress = QStringLiteral("progress"); parser.isSet(progress)) {
    if (parser.value(progress) != QLatin1String("json"))
      return Usage(QStringLiteral("--progress wants json"));
    options.jsonProgress = true;
  }
  options.quiet = parser.isSet(QStringLiteral("quiet"));
  if (parser.isSet(QStringLiteral("raw-cells"))) options.settings.cells = csv::Cells::Raw;
  if (options.retryFailed && options.output.isEmpty())
    return Usage(QStringLiteral("--retry-failed wants the --output of an earlier batch"));
  if (const QString path = QStringLiteral("path"); parser.isSet(path)) {
    const std::optional<LookupPath> chosen = PathFromName(parser.value(path));
    if (!chosen) return Usage(QStringLiteral("--path is comprehensive or official"));
    options.settings.path = *chosen;
  }
  options.settings.checkEntries = !parser.isSet(QStringLiteral("no-check"));
  if (const QString rate = QStringLiteral("rate"); parser.isSet(rate)) {
    bool ok = false;
    const double n = parser.value(rate).toDouble(&ok);
    if (!ok || !(n >= kMinRate) || n > kMaxRate)
      return Usage(QStringLiteral(
                       "--rate wants lookups a minute, at least 1/1440 (one a day) and at most %1")
                       .arg(kMaxRate));
    options.settings.ratePerMinute = n;
  }
  if (const QString retries = QStringLiteral("retries"); parser.isSet(retries)) {
    bool ok = false;
    const int n = parser.value(retries).toInt(&ok);
    if (!ok || n < 0 || n > kMaxRetries)
      return Usage(QStringLiteral("--retries wants a number from 0 to %1").arg(kMaxRetries));
    options.settings.retries = n;
  }
  if (const QString jobs = QStringLiteral("jobs"); parser.isSet(jobs)) {
    const std::optional<int> n = PositiveNumber(parser.value(jobs), kMaxJobs);
    if (!n) return Usage(QStringLiteral("--jobs wants a number from 1 to %1").arg(kMaxJobs));
    options.settings.jobs = *n;
  }
  return RunBatch(invocation.argc, invocation.argv, invocation.config, options);
}

}  // namespace

Command BatchCommand() {
  Command command;
  command.name = QStringLiteral("batch");
  command.synopsis = {QStringLiteral("[--path comprehensive|official]"),
                      QStringLiteral("[--jobs N]"),
                      QStringLiteral("[--rate N]"),
                      QStringLiteral("[--retries N]"),
                      QStringLiteral("[--output FILE]"),
                      QStringLiteral("[--retry-failed]"),
                      QStringLiteral("[--raw-cells]"),
                      QStringLiteral("[--no-check]"),
                      QStringLiteral("[--quiet | --progress json]"),
                      QStringLiteral("INPUT")};
  command.summary =
      QStringLiteral("Looks up every entry of a list and writes the outcomes as CSV.");
  command.help = QStringLiteral(
      "Looks up every entry of INPUT (one a line; blank lines and lines starting\n"
      "with # are skipped; or a CSV whose first column holds the entries; - is\n"
      "standard input) and writes CSV: to FILE, or to standard output. --jobs N\n"
      "runs N lookups side by side (1 to 16, default 1); rows stay in input order.\n"
      "Each site is asked as fast as it answers: --rate N caps the lookups a\n"
      "minute (all jobs together). A site that asks to wait (HTTP 429 or 503)\n"
      "is left alone: for a picture, for the time its Retry-After names (seconds\n"
      "or an HTTP date, at most 2 minutes); for a page (the browser engine does\n"
      "not give its headers) or a picture naming no time, for 2 s, 4 s, 8 s ...\n"
      "(at most 2 minutes). So is one whose page or picture got no answer; the\n"
      "entry is tried again up to --retries times (default 2), then ends\n"
      "timed_out.\n"
      "When FILE exists, the entries already in it are skipped, so a stopped batch\n"
      "continues where it was; --retry-failed also looks up again the rows of\n"
      "FILE that ended timed_out or picture_failed, each new row in the old\n"
      "one's place. Each entry is checked offline first, as check does: one that\n"
      "fails ends bad_input without a request, the others are looked up in their\n"
      "clean form (no separators, upper case, a 14-digit IMEI completed); with\n"
      "--no-check entries go as given. An entry holding a control character or\n"
      "longer than 64 characters is never sent. The entry column keeps the entry\n"
      "as INPUT gives it. A page that stopped answering or a browser that crashed\n"
      "costs its own entry only (timed_out, with the reason in the progress and\n"
      "the history). Exit status 0 when every entry was decided (found,\n"
      "not_found, rejected, bad_input); 1 when an entry of the output ended\n"
      "without a decision (timed_out, picture_failed: worth another try) or the\n"
      "batch could not go on or a lookup could not be recorded in the history\n"
      "(said again at the end); 130 or 143 when stopped by SIGINT or SIGTERM.\n"
      "The CSV's last column, warranty_end_date, is warranty_end as an ISO 8601\n"
      "date (empty when it cannot be read); a FILE written before it had the\n"
      "column gets it, for every row, when the batch continues it. A cell that\n"
      "begins with =, +, -, @, TAB or CR is written with an apostrophe in\n"
      "front, so that a spreadsheet shows it as text and runs no formula;\n"
      "--raw-cells writes every value as it is. An INPUT that is no text\n"
      "(NUL bytes, not UTF-8 or UTF-16 with its byte order mark, a program, an\n"
      "archive, a PDF) is refused with exit status 2 before anything is looked\n"
      "up. Progress goes to standard error: on a terminal one line rewritten in\n"
      "place; to a file or pipe only the waits and failures and, at the end, one\n"
      "summary line; --quiet says nothing but errors; --progress json writes\n"
      "progress, messages and rows as one JSON object a line.\n");
  command.options = {
      QCommandLineOption("path",
                         "The lookup: the comprehensive query on the lookup site or the official "
                         "one on the warranty page.",
                         "comprehensive|official", "comprehensive"),
      QCommandLineOption("jobs", "Lookups side by side, 1 to 16.", "N", "1"),
      QCommandLineOption("rate",
                         "At most N lookups a minute on the site, 1/1440 (one a day) to 60000 "
                         "(default: no cap).",
                         "N"),
      QCommandLineOption("retries",
                         "Tries again an entry whose site asked to wait or did not answer, up "
                         "to N times.",
                         "N", "2"),
      QCommandLineOption("output", "The CSV to write, and to continue when it exists.", "FILE"),
      QCommandLineOption("raw-cells",
                         "Writes every cell as it is, without the apostrophe in front of one "
                         "that begins with =, +, -, @, TAB or CR."),
      QCommandLineOption("retry-failed",
                         "Looks up again the rows of --output that ended timed_out or "
                         "picture_failed."),
      QCommandLineOption("no-check", "Sends entries as given, without the offline check."),
      QCommandLineOption("quiet",
                         "Says nothing but errors: no progress, waits or entries' reasons."),
      QCommandLineOption("progress",
                         "json: progress, messages and each row as one JSON object a line on "
                         "standard error, for a program to read.",
                         "json")};
  command.hosts = Hosts::kUsed;
  command.run = RunBatchCommand;
  return command;
}

}  // namespace quarvel::cli
