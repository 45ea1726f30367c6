// harmolin-gui [--workdir DIR] [--seed N] [--audio-device PCM] [--plugin-kind K]
#include "gui/MainWindow.h"
#include "midi/PluginKind.h"

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the program the way the quit button does, so the
// settings are still written.
void quitOnSignals(QApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

int usage(const char* why) {
    std::fprintf(stderr,
                 "harmolin-gui: %s\nusage: harmolin-gui [--workdir DIR] [--seed N] [--audio-device PCM]\n"
                 "       [--plugin-kind auto|vocaloid|syllable|instrument]\n",
                 why);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harmolin"));
    harmolin::gui::WindowOptions options;
    options.testMode = harmolin::gui::GuiServices::testModeFromEnvironment();
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--workdir") && hasValue) {
            const QString dir = args[++i];
            if (!QDir(dir).exists())
                return usage(("the working folder " + dir.toStdString() + " does not exist").c_str());
            options.workingFolder = QDir(dir).absolutePath();
        } else if (a == QLatin1String("--seed") && hasValue) {
            bool ok = false;
            const qulonglong seed = args[++i].toULongLong(&ok);
            if (!ok || seed > 0xFFFFFFFFull) return usage("--seed takes a whole number from 0 to 4294967295");
            options.seed = static_cast<std::uint32_t>(seed);
        } else if (a == QLatin1String("--audio-device") && hasValue) {
            options.audioDevice = args[++i];
        } else if (a == QLatin1String("--plugin-kind") && hasValue) {
            options.pluginKind = args[++i];
            if (!harmolin::parsePluginKindName(options.pluginKind.toStdString()))
                return usage("--plugin-kind is auto, vocaloid, syllable or instrument");
        } else {
            return usage(("unknown argument '" + a.toStdString() + "'").c_str());
        }
    }
    quitOnSignals(app);
    harmolin::gui::MainWindow window(options);
    window.show();
    window.startUp();
    return QApplication::exec();
}
