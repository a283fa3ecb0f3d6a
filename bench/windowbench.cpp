// The search window listing every entity of the large fixture, offscreen, as the user's
// "Najít" with an empty name does it: time to the first rows shown, to the whole list, and
// from Stop to the window being idle again.
#include "benchmarks.h"

#include "db/database.h"
#include "entities/frmvyhledavani.h"
#include "shell/appstate.h"
#include "ui/idlehook.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>

using namespace verna;

void benchSearchWindow(BenchContext &context, db::Database &database, int entityCount)
{
    ui::installIdleHook(database);
    shell::AppState state(database);
    entities::frmVyhledavani window(state);
    window.show();
    auto *list = window.findChild<QListWidget *>(QStringLiteral("lstNalezeno"));
    auto *find = window.findChild<QAbstractButton *>(QStringLiteral("cmdHledat"));
    if (!list || !find) {
        context.table.check(QStringLiteral("search window: all entities listed"), QStringLiteral("< 1 s"), QStringLiteral("-"), false,
                            QStringLiteral("window controls not found"));
        return;
    }

    // Whole listing; a timer notes when rows first show while it fills.
    QElapsedTimer clock;
    qint64 firstRows = -1;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (firstRows < 0 && list->count() > 0)
            firstRows = clock.elapsed();
    });
    watch.start();
    clock.start();
    find->click(); // returns when the listing has ended
    const qint64 whole = clock.elapsed();
    watch.stop();
    const int listed = list->count();
    context.table.check(QStringLiteral("search window: all entities listed"), QStringLiteral("< 1 s, rows shown while it fills"),
                        QStringLiteral("%1 ms").arg(whole), whole < 1000 && listed >= entityCount && firstRows >= 0 && firstRows < whole,
                        QStringLiteral("wall clock, offscreen; %1 lines; first rows after %2 ms").arg(listed).arg(firstRows));

    // Stop pressed once the listing has begun to show rows: the time until the window is idle.
    list->clear();
    qint64 pressed = -1;
    QTimer press;
    press.setInterval(5);
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (pressed < 0 && list->count() > 1000) {
            pressed = clock.elapsed();
            press.stop();
            find->click(); // the running listing's button is its Stop
        }
    });
    press.start();
    clock.restart();
    find->click();
    const qint64 stopped = clock.elapsed() - pressed;
    press.stop();
    context.table.check(QStringLiteral("search window: Stop"), QStringLiteral("< 100 ms"), QStringLiteral("%1 ms").arg(stopped),
                        pressed >= 0 && stopped < 100,
                        QStringLiteral("wall clock from the press to the end, pressed with %1 of %2 lines shown").arg(list->count()).arg(listed));
    database.setIdleHook({});
}
