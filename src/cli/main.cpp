// quarvel-cli: offline number checks, batch lookups and the lookup history,
// without a display.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "base/batch_runner.h"
#include "base/config.h"
#include "base/csv.h"
#include "base/data_folder.h"
#include "base/device_number.h"
#include "base/history.h"
#include "base/progress.h"
#include "base/quiet_output.h"
#include "base/worker_lookup.h"
#include "cli/batch_engine.h"

namespace {

using namespace quarvel;

// Input beyond this is refused rather than read into memory.
constexpr qint64 kMaxInputBytes = 64LL << 20;
constexpr int kMaxJobs = 16;

void Write(FILE* stream, const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
  std::fflush(stream);
}

void Error(const QString& message) { Write(stderr, "quarvel-cli: " + message.toUtf8() + "\n"); }

int Usage(const QString& message) {
  Error(message + QStringLiteral("; try --help"));
  return 2;
}

QString HelpText() {
  return QStringLiteral(
             "Usage: quarvel-cli [options] COMMAND ...\n"
             "\n"
             "Commands:\n"
             "  check [--json] [ENTRY...]\n"
             "      Checks serial numbers and IMEIs offline, at once, without the network\n"
             "      (entries on standard input when none are given). One line per entry,\n"
             "      tab-separated: entry, kind (imei, imeisv, serial, unknown), verdict (ok or\n"
             "      what is wrong), details; --json: one JSON object per line.\n"
             "      Exit status 0 when every entry is ok, 1 otherwise.\n"
             "  batch [--path comprehensive|official] [--jobs N] [--output FILE]\n"
             "        [--retry-failed] INPUT\n"
             "      Looks up every entry of INPUT (one a line; blank lines and lines starting\n"
             "      with # are skipped; or a CSV whose first column holds the entries; - is\n"
             "      standard input) and writes CSV: to FILE, or to standard output. --jobs N\n"
             "      runs N lookups side by side (1 to 16, default 1); rows stay in input order.\n"
             "      When FILE exists, the entries already in it are skipped, so a stopped batch\n"
             "      continues where it was; --retry-failed also looks up again the rows of\n"
             "      FILE that ended timed_out or picture_failed, each new row in the old\n"
             "      one's place. A page that stopped answering or a browser that crashed\n"
             "      costs its own entry only (timed_out, with the reason in the progress and\n"
             "      the history). Exit status 0 when every entry got an outcome, 1 when the\n"
             "      batch could not go on or an entry ended its lookup twice (it is skipped),\n"
             "      130 or 143 when stopped by SIGINT or SIGTERM.\n"
             "  history [--csv] [--limit N]\n"
             "      Every finished lookup, from the window and from batches, newest first.\n"
             "\n"
             "Options:\n"
             "  --lookup-host HOST[:PORT]    Lookup site.\n"
             "  --warranty-host HOST[:PORT]  Warranty page host.\n"
             "  --portal-host HOST[:PORT]    Portal start page.\n"
             "  -h, --help                   Show this help and exit.\n"
             "  -v, --version                Show the version and exit.\n"
             "\n") +
         HostEnvironmentHelp() +
         QStringLiteral(
             "Files: the history and the batch pictures are kept in $XDG_DATA_HOME/quarvel\n"
             "(by default ~/.local/share/quarvel).\n"
             "Exit status 2 on bad usage.\n");
}

// All of a file or of standard input ("-"), up to kMaxInputBytes.
std::optional<QByteArray> ReadInput(const QString& name, QString* error) {
  const bool standardInput = name == QLatin1String("-");
  const int fd = standardInput ? STDIN_FILENO
                               : ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error =
        QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(strerror(errno)));
    return std::nullopt;
  }
  QByteArray content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = QStringLiteral("cannot read %1: %2")
                   .arg(standardInput ? QStringLiteral("standard input") : name,
                        QString::fromLocal8Bit(strerror(errno)));
      content.clear();
      break;
    }
    if (n == 0) break;
    content.append(buffer, n);
    if (content.size() > kMaxInputBytes) {
      *error = QStringLiteral("%1 is larger than %2 MiB")
                   .arg(standardInput ? QStringLiteral("standard input") : name)
                   .arg(kMaxInputBytes >> 20);
      break;
    }
  }
  if (!standardInput) ::close(fd);
  if (!error->isEmpty()) return std::nullopt;
  return content;
}

std::optional<QStringList> ReadEntries(const QString& name, QString* error) {
  const std::optional<QByteArray> content = ReadInput(name, error);
  if (!content) return std::nullopt;
  csv::BatchInput input = csv::ReadBatchInput(*content);
  if (!input.error.isEmpty()) {
    *error = (name == QLatin1String("-") ? QStringLiteral("standard input") : name) +
             QStringLiteral(": ") + input.error;
    return std::nullopt;
  }
  return input.entries;
}

int RunCheck(QStringList entries, bool json) {
  if (entries.isEmpty()) {
    QString error;
    const std::optional<QStringList> read = ReadEntries(QStringLiteral("-"), &error);
    if (!read) {
      Error(error);
      return 2;
    }
    entries = *read;
  }
  bool allOk = true;
  QByteArray out;
  for (const QString& entry : entries) {
    const NumberCheck check = CheckNumber(entry);
    allOk = allOk && check.Ok();
    out += json ? FormatCheckJson(check) : FormatCheckLine(check).toUtf8();
    out += '\n';
    if (out.size() > 65536) {
      Write(stdout, out);
      out.clear();
    }
  }
  Write(stdout, out);
  return allOk ? 0 : 1;
}

// Only reads: a missing history lists nothing, and nothing is created,
// migrated or moved. Exit status 1 when the history cannot be read or is
// damaged (what still reads of a damaged one is listed).
int RunHistory(bool asCsv, int limit) {
  QString problem;
  const QString folder = ExistingDataFolder(&problem);
  if (!problem.isEmpty()) {
    Error(problem);
    return 1;
  }
  if (folder.isEmpty()) return 0;
  History history(
      folder, [](const QString& message) { Error(message); }, HistoryAccess::ReadOnly);
  if (history.State() == HistoryState::Missing) return 0;
  if (history.State() == HistoryState::Unusable) return 1;
  QByteArray out;
  static const QStringList header = {
      QStringLiteral("finished_at"), QStringLiteral("source"),  QStringLiteral("entry"),
      QStringLiteral("check"),       QStringLiteral("path"),    QStringLiteral("outcome"),
      QStringLiteral("model"),       QStringLiteral("serial"),  QStringLiteral("warranty_end"),
      QStringLiteral("picture"),     QStringLiteral("seconds"), QStringLiteral("reason")};
  if (asCsv) out += csv::FormatRecord(header);
  for (const HistoryRecord& record : history.Newest(limit)) {
    const QStringList fields = {IsoUtc(record.finishedAt),
                                SourceName(record.source),
                                record.entry,
                                record.check,
                                record.path,
                                record.outcome,
                                record.model,
                                record.serial,
                                record.warrantyEnd,
                                record.picture,
                                QString::number(record.seconds, 'f', 2),
                                record.reason};
    if (asCsv) {
      out += csv::FormatRecord(fields);
    } else {
      QStringList line;
      for (const QString& field : fields) line.append(OneLineField(field));
      out += line.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
  }
  Write(stdout, out);
  return history.State() == HistoryState::Damaged ? 1 : 0;
}

struct BatchOptions {
  QString input;
  QString output;
  bool retryFailed = false;
  BatchSettings settings;
};

// The outcomes that --retry-failed looks up again: what a bad moment (a page
// that hung, a crash, a picture that did not come) cost, not an answer.
const QStringList& RetriedOutcomes() {
  static const QStringList outcomes = {OutcomeName(OutcomeKind::TimedOut),
                                       OutcomeName(OutcomeKind::PictureFailed)};
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
  // The seam where the lookup engine comes in. Engines in one process run
  // their handlers one at a time, so the comprehensive path's pause holds
  // them all: with more than one job that path runs one worker process a job.
  // The official path has no such wait and keeps its engines here, at about
  // a quarter of the memory.
  QString reason;
  const std::optional<cli::BatchEngine> engine =
      cli::LoadBatchEngine(config, options.settings.path, &reason);
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
  const bool workers =
      options.settings.jobs > 1 && options.settings.path == LookupPath::Comprehensive;
  const std::unique_ptr<QCoreApplication> app = workers
                                                    ? std::make_unique<QCoreApplication>(argc, argv)
                                                    : engine->makeApplication(argc, argv);
  const EntryLookupFactory factory =
      workers ? WorkerFactory(
                    QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--lookup-host"), config.lookupHost,
                     QStringLiteral("--warranty-host"), config.warrantyHost,
                     QStringLiteral("--portal-host"), config.portalHost},
                    dataFolder.isEmpty() ? QString() : dataFolder + QStringLiteral("/workers"))
              : engine->makeLookup;

  csv::OutputFile file;
  csv::FdSink standardOutput(STDOUT_FILENO, false);
  csv::RowSink* sink = &standardOutput;
  QStringList done;
  if (!options.output.isEmpty()) {
    if (options.retryFailed && !QFileInfo::exists(options.output))
      return Usage(QStringLiteral("--retry-failed wants an existing output (%1 is not there)")
                       .arg(options.output));
    if (!file.Open(options.output, csv::BatchHeader(), &error,
                   options.retryFailed ? RetriedOutcomes() : QStringList())) {
      Error(error);
      return 2;
    }
    sink = &file;
    done = file.Done();
  } else if (!standardOutput.Write(csv::FormatRecord(csv::BatchHeader()))) {
    Error(QStringLiteral("cannot write to standard output: ") + standardOutput.Error());
    return 1;
  }
  // Rows to look up again come first, and take their own places.
  const QStringList todo = file.Retry() + EntriesToDo(*entries, done);

  // A terminal shows one line rewritten in place, unless the rows go to the
  // same terminal.
  const char* term = std::getenv("TERM");
  const bool terminal = isatty(STDERR_FILENO) && !(term && qstrcmp(term, "dumb") == 0) &&
                        (!options.output.isEmpty() || !isatty(STDOUT_FILENO));
  // The runner's messages come without the program's name: it is put in
  // front of them here.
  Progress progress([](const QByteArray& text) { Write(stderr, text); }, terminal,
                    static_cast<int>(entries->size()),
                    static_cast<int>(entries->size() - todo.size()),
                    QStringLiteral("quarvel-cli: "));
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

  BatchSettings settings = options.settings;
  if (!dataFolder.isEmpty()) {
    settings.pictureFolder = DataSubfolder(dataFolder, QStringLiteral("pictures"), &dataProblem);
    if (settings.pictureFolder.isEmpty())
      Error(dataProblem + QStringLiteral("; pictures are not kept"));
  }
  BatchRunner runner(settings, factory, sink, history ? &*history : nullptr, &progress);
  const int status = runner.Run(todo);
  if (status > 128) {
    const int left = static_cast<int>(todo.size()) - runner.Finished();
    Error(QStringLiteral("stopped by %1; %2 of %3 entries not looked up yet%4")
              .arg(status == 128 + SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"))
              .arg(left)
              .arg(entries->size())
              .arg(options.output.isEmpty()
                       ? QString()
                       : QStringLiteral("; run the same command again to continue")));
  }
  return status;
}

std::optional<int> PositiveNumber(const QString& text, int most) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < 1 || value > most) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is a failed write, not the end of the process.
  std::signal(SIGPIPE, SIG_IGN);

  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

  QCommandLineParser parser;
  const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption version({"v", "version"}, "Show the version and exit.");
  const QCommandLineOption json("json", "One JSON object per line.");
  const QCommandLineOption asCsv("csv", "CSV.");
  const QCommandLineOption limit("limit", "At most N lookups.", "N");
  const QCommandLineOption path("path", "comprehensive or official.", "path");
  const QCommandLineOption jobs("jobs", "Lookups side by side.", "N");
  const QCommandLineOption output("output", "The CSV file.", "file");
  const QCommandLineOption retryFailed("retry-failed", "Look timed-out rows up again.");
  parser.addOptions({help, version, json, asCsv, limit, path, jobs, output, retryFailed});
  parser.addOptions(HostOptions());
  if (!parser.parse(arguments)) {
    QString text = parser.errorText();
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return Usage(text);
  }
  if (parser.isSet(help)) {
    Write(stdout, HelpText().toUtf8());
    return 0;
  }
  if (parser.isSet(version)) {
    Write(stdout, "quarvel-cli " QUARVEL_VERSION "\n");
    return 0;
  }

  Config config;
  const QString wrongHost = ApplyHosts(
      parser, [](const char* name) { return qEnvironmentVariable(name); }, &config);
  if (!wrongHost.isEmpty()) return Usage(wrongHost);

  QStringList positional = parser.positionalArguments();
  if (positional.isEmpty()) return Usage(QStringLiteral("no command given"));
  const QString command = positional.takeFirst();
  static const QSet<QString> global = {QStringLiteral("lookup-host"),
                                       QStringLiteral("warranty-host"),
                                       QStringLiteral("portal-host")};
  const QSet<QString> own = command == QLatin1String("check")     ? QSet<QString>{"json"}
                            : command == QLatin1String("history") ? QSet<QString>{"csv", "limit"}
                            : command == QLatin1String("batch")
                                ? QSet<QString>{"path", "jobs", "output", "retry-failed"}
                                : QSet<QString>{};
  // batch-worker is the batch's own, and not in the help.
  const bool worker = command == QLatin1String("batch-worker");
  if (command != QLatin1String("check") && command != QLatin1String("history") &&
      command != QLatin1String("batch") && !worker)
    return Usage(QStringLiteral("'%1' is not a command").arg(command));
  for (const QString& name : parser.optionNames())
    if (!global.contains(name) && !own.contains(name))
      return Usage(QStringLiteral("--%1 is not an option of %2").arg(name, command));

  if (worker) {
    if (!positional.isEmpty())
      return Usage(QStringLiteral("batch-worker takes no entries ('%1')").arg(positional.first()));
    return cli::RunBatchWorker(argc, argv, config);
  }
  if (command == QLatin1String("check")) {
    QCoreApplication app(argc, argv);
    return RunCheck(positional, parser.isSet(json));
  }
  if (command == QLatin1String("history")) {
    if (!positional.isEmpty())
      return Usage(QStringLiteral("history takes no entries ('%1')").arg(positional.first()));
    int most = 0;
    if (parser.isSet(limit)) {
      const std::optional<int> n = PositiveNumber(parser.value(limit), 1 << 30);
      if (!n) return Usage(QStringLiteral("--limit wants a number of 1 or more"));
      most = *n;
    }
    QCoreApplication app(argc, argv);
    return RunHistory(parser.isSet(asCsv), most);
  }

  BatchOptions options;
  if (positional.size() != 1)
    return Usage(positional.isEmpty() ? QStringLiteral("batch wants an INPUT file")
                                      : QStringLiteral("batch wants one INPUT file"));
  options.input = positional.first();
  options.output = parser.value(output);
  if (parser.isSet(output) && options.output.isEmpty())
    return Usage(QStringLiteral("--output wants a file name"));
  options.retryFailed = parser.isSet(retryFailed);
  if (options.retryFailed && options.output.isEmpty())
    return Usage(QStringLiteral("--retry-failed wants the --output of an earlier batch"));
  if (parser.isSet(path)) {
    const std::optional<LookupPath> chosen = PathFromName(parser.value(path));
    if (!chosen) return Usage(QStringLiteral("--path is comprehensive or official"));
    options.settings.path = *chosen;
  }
  if (parser.isSet(jobs)) {
    const std::optional<int> n = PositiveNumber(parser.value(jobs), kMaxJobs);
    if (!n) return Usage(QStringLiteral("--jobs wants a number from 1 to %1").arg(kMaxJobs));
    options.settings.jobs = *n;
  }
  return RunBatch(argc, argv, config, options);
}
