#include "platform/desktop.h"

namespace kesk {

ShellReport Desktop::shellReport() {
    ShellReport report;
    const ScreenMetrics m = screen();
    const Rect screenRect{0, 0, m.widthPixels, m.heightPixels};
    report.monitors.push_back(Monitor{screenRect, screenRect, true});
    if (m.twipsPerPixelY > 0.0) {
        report.dpi = static_cast<std::int32_t>(1440.0 / m.twipsPerPixelY + 0.5);
    }
    const Rect bar = taskbarRect();
    if (bar.width() > 0 && bar.height() > 0) {
        ShellTaskbar taskbar;
        taskbar.window = ShellWindow{1, "Shell_TrayWnd", 0, true, bar, {}};
        const Rect button = startButtonRect();
        if (button.width() > 0 && button.height() > 0) {
            taskbar.children.push_back(ShellWindow{2, "Button", 0, true, button, {}});
        }
        report.taskbars.push_back(std::move(taskbar));
    }
    return report;
}

} // namespace kesk
