#ifndef HISTORY_COMMAND_H
#define HISTORY_COMMAND_H

#include <QCommandLineParser>
#include <QStringList>

// What the subcommands that read the history share: their name in messages,
// --help, and finding the history file through --config or --db as the logger does.
class HistoryCommand
{
public:
    HistoryCommand(const QString &name, const QString &description);

    // Parses "solar-logger NAME ..." with the command's own options besides the
    // shared ones. Returns -1 to go on, else the exit code (help shown: 0, bad
    // arguments: 2).
    int parse(const QStringList &arguments, const QList<QCommandLineOption> &options);
    // The history file; returns -1 with *path set, else the exit code after a message.
    int historyPath(QString *path) const;
    int fail(const QString &message, int code) const;

    QCommandLineParser parser;

private:
    QString name;
    QCommandLineOption help;
    QCommandLineOption config;
    QCommandLineOption db;
};

#endif
