#include "history_command.h"

#include <QFileInfo>
#include <QTextStream>

#include "config_file.h"
#include "history_store.h"

HistoryCommand::HistoryCommand(const QString &name, const QString &description)
    : name(name),
      help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")),
      config(QStringLiteral("config"),
             QStringLiteral("Settings file naming the history in [record] database "
                            "(default: config.ini in the working directory)."),
             QStringLiteral("file")),
      db(QStringLiteral("db"),
         QStringLiteral("History file (default: as the logger finds it, else %1).")
             .arg(HistoryStore::defaultPath()),
         QStringLiteral("file"))
{
    parser.setApplicationDescription(description);
}

int HistoryCommand::fail(const QString &message, int code) const
{
    QTextStream(stderr) << "solar-logger " << name << ": " << message << '\n';
    return code;
}

int HistoryCommand::parse(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    parser.addOption(help);
    parser.addOptions(options);
    parser.addOptions({config, db});
    QStringList rest = arguments;
    rest.removeAt(1);   // the command's name
    if (!parser.parse(rest))
        return fail(parser.errorText() + QStringLiteral("\nTry solar-logger %1 --help.").arg(name), 2);
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText().replace(QLatin1String("[options]"),
                                                         name + QLatin1String(" [options]"));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()), 2);
    return -1;
}

int HistoryCommand::historyPath(QString *path) const
{
    *path = parser.value(db);
    if (path->isEmpty()) {
        const QString configPath = QFileInfo(parser.isSet(config) ? parser.value(config)
                                                                  : ConfigFile::defaultPath())
                                       .absoluteFilePath();
        if (parser.isSet(config) && !QFileInfo(configPath).isFile())
            return fail(QStringLiteral("%1: no such file").arg(configPath), 2);
        *path = ::historyPath(readRecordConfig(ConfigFile(configPath), true), configPath);
    }
    // Opening would create an empty history; a wrong path is better told.
    if (!QFileInfo(*path).isFile())
        return fail(QStringLiteral("no history at %1").arg(*path), 1);
    return -1;
}
