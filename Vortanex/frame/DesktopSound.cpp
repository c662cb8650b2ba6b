#include "frame/DesktopSound.h"

#include "app/base/LogWriter.h"
#include "server/AlertSound.h"

#include "ui/ui_thread.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>

DesktopSound::DesktopSound(pf::Paths paths)
    : m_paths(std::move(paths)), m_self(std::make_shared<DesktopSound*>(this))
{
}

DesktopSound::~DesktopSound()
{
    *m_self = nullptr;
}

void DesktopSound::request(pf::Sound sound)
{
    if (!m_coalescer.request(sound))
        return; // merged into the sound already on its way
    std::weak_ptr<DesktopSound*> self = m_self;
    ui::UiThread::post([self, sound] {
        if (auto s = self.lock(); s && *s)
            (*s)->play(sound);
    });
}

void DesktopSound::play(pf::Sound sound)
{
    if (sound == pf::Sound::AlertFile) {
        const auto file = AlertSoundFile(m_paths);
        // The desktop's player, else the bell.
        QString player = QStandardPaths::findExecutable("paplay");
        if (player.isEmpty())
            player = QStandardPaths::findExecutable("aplay");
        if (file && !player.isEmpty()) {
            auto* process = new QProcess(qApp);
            std::weak_ptr<DesktopSound*> self = m_self;
            QObject::connect(process, &QProcess::finished, process,
                             [process, self](int exitCode, QProcess::ExitStatus status) {
                // A player that ran but could not play (no sound server, a
                // broken file) leaves the user without a sound: the bell then.
                if (status != QProcess::NormalExit || exitCode != 0) {
                    WriteLog(0, "The alert sound could not be played ["
                                    + process->program().toStdString() + " ended with "
                                    + std::to_string(exitCode) + "]");
                    QApplication::beep();
                }
                process->deleteLater();
                if (auto s = self.lock(); s && *s)
                    (*s)->m_coalescer.finish();
            });
            QObject::connect(process, &QProcess::errorOccurred, process, [process, self](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart)
                    return;
                WriteLog(1, "The alert sound could not be played");
                QApplication::beep();
                process->deleteLater();
                if (auto s = self.lock(); s && *s)
                    (*s)->m_coalescer.finish();
            });
            WriteLog(1, "Playing the alert sound [" + file->string() + "]");
            process->start(player, {QString::fromStdString(file->string())});
            return;
        }
    }
    QApplication::beep();
    m_coalescer.finish();
}
