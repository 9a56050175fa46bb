#include "tray/taskbar_layout.h"

#include <algorithm>
#include <cstdint>

namespace kesk {

namespace {

bool sameClass(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

std::int64_t area(const Rect& r) noexcept {
    return isEmpty(r) ? 0 : std::int64_t{r.width()} * std::int64_t{r.height()};
}

// The middle, in doubled coordinates so that no half pixel is lost.
std::int64_t doubleMidX(const Rect& r) noexcept {
    return std::int64_t{r.left} + r.right;
}
std::int64_t doubleMidY(const Rect& r) noexcept {
    return std::int64_t{r.top} + r.bottom;
}

// What is seen of a window: its drawn part where it tells one, else all of it.
Rect seenRect(const ShellWindow& w) noexcept {
    if (!isEmpty(w.drawn)) {
        const Rect seen = intersection(w.rect, w.drawn);
        if (!isEmpty(seen)) {
            return seen;
        }
    }
    return w.rect;
}

bool usable(const ShellWindow& w, const std::vector<Monitor>& monitors) {
    return w.visible && !isEmpty(seenRect(w)) && monitorOf(monitors, seenRect(w)).has_value();
}

bool isTaskbarClass(const std::string& cls) {
    return sameClass(cls, "Shell_TrayWnd") || sameClass(cls, "Shell_SecondaryTrayWnd");
}

// Lower sorts first: the primary taskbar on the primary monitor, other primary ones, then
// the secondary ones.
int taskbarRank(const ShellTaskbar& t, const std::vector<Monitor>& monitors) {
    const bool primaryClass = sameClass(t.window.className, "Shell_TrayWnd");
    const std::optional<Monitor> on = monitorOf(monitors, t.window.rect);
    const bool onPrimary = on.has_value() && on->primary;
    return (primaryClass ? 0 : 2) + (onPrimary ? 0 : 1);
}

Rect startCorner(const Rect& bar, ScreenEdge edge, std::int32_t thickness) noexcept {
    if (edge == ScreenEdge::Left || edge == ScreenEdge::Right) {
        return Rect{bar.left, bar.top, bar.right, bar.top + std::min(thickness, bar.height())};
    }
    return Rect{bar.left, bar.top, bar.left + std::min(thickness, bar.width()), bar.bottom};
}

// How far apart two rectangles lie, across and down together (0 when they touch or overlap).
std::int64_t gap(const Rect& a, const Rect& b) noexcept {
    const std::int64_t dx =
        std::max({std::int64_t{0}, std::int64_t{a.left} - b.right, std::int64_t{b.left} - a.right});
    const std::int64_t dy =
        std::max({std::int64_t{0}, std::int64_t{a.top} - b.bottom, std::int64_t{b.top} - a.bottom});
    return dx + dy;
}

std::optional<StartButtonChoice> startButtonOf(const ShellTaskbar& t, const ShellReport& report,
                                               const Monitor& monitor) {
    StartButtonChoice c;
    c.taskbar = t.window.id;
    c.taskbarRect = t.window.rect;
    c.monitor = monitor;
    c.edge = taskbarEdge(t.window.rect, monitor.area, t.claimedEdge);
    const auto take = [&](const ShellWindow& w, StartButtonKind kind) {
        c.button = w.id;
        c.kind = kind;
        c.buttonRect = seenRect(w);
        return c;
    };
    for (const ShellWindow& w : t.children) {
        if (sameClass(w.className, "Button") && usable(w, report.monitors)) {
            return take(w, StartButtonKind::FirstChildButton);
        }
    }
    if (t.window.thread != 0) {
        for (const ShellWindow& w : report.topLevelButtons) {
            const Rect seen = seenRect(w);
            const bool middleOnBar = doubleMidX(seen) >= 2 * std::int64_t{t.window.rect.left} &&
                                     doubleMidX(seen) < 2 * std::int64_t{t.window.rect.right} &&
                                     doubleMidY(seen) >= 2 * std::int64_t{t.window.rect.top} &&
                                     doubleMidY(seen) < 2 * std::int64_t{t.window.rect.bottom};
            if (w.thread == t.window.thread && sameClass(w.className, "Button") &&
                usable(w, report.monitors) && middleOnBar) {
                return take(w, StartButtonKind::ThreadButton);
            }
        }
    }
    for (const ShellWindow& w : t.children) {
        if (sameClass(w.className, "Start") && usable(w, report.monitors)) {
            return take(w, StartButtonKind::StartChild);
        }
    }
    const bool drawn = std::any_of(t.children.begin(), t.children.end(), [&](const ShellWindow& w) {
        return usable(w, report.monitors);
    });
    if (!drawn) {
        return std::nullopt;
    }
    c.button = 0;
    c.kind = StartButtonKind::Corner;
    c.buttonRect = startCorner(t.window.rect, c.edge, taskbarThickness(t.window.rect, c.edge));
    return c;
}

} // namespace

std::int32_t usableDpi(std::int32_t reported) noexcept {
    if (reported <= 0) {
        return kDefaultDpi;
    }
    return std::min(reported, kMaxDpi);
}

bool isEmpty(const Rect& r) noexcept {
    return r.right <= r.left || r.bottom <= r.top;
}

Rect intersection(const Rect& a, const Rect& b) noexcept {
    const Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    return isEmpty(r) ? Rect{} : r;
}

std::optional<Monitor> monitorOf(const std::vector<Monitor>& monitors, const Rect& r) {
    std::optional<Monitor> best;
    std::int64_t bestArea = 0;
    for (const Monitor& m : monitors) {
        const std::int64_t shared = area(intersection(m.area, r));
        // Monitors may lie on top of each other (an X server with every screen at the origin
        // reports them so): where they share as much, the primary one has it.
        const bool tieToPrimary = shared > 0 && shared == bestArea && m.primary && !best->primary;
        if (shared > bestArea || tieToPrimary) {
            best = m;
            bestArea = shared;
        }
    }
    return best;
}

std::optional<Monitor> primaryMonitor(const std::vector<Monitor>& monitors) {
    for (const Monitor& m : monitors) {
        if (m.primary && !isEmpty(m.area)) {
            return m;
        }
    }
    for (const Monitor& m : monitors) {
        if (!isEmpty(m.area)) {
            return m;
        }
    }
    return std::nullopt;
}

std::optional<Monitor> nearestMonitor(const std::vector<Monitor>& monitors, const Rect& r) {
    if (std::optional<Monitor> on = monitorOf(monitors, r)) {
        return on;
    }
    std::optional<Monitor> best;
    std::int64_t bestGap = 0;
    for (const Monitor& m : monitors) {
        if (isEmpty(m.area)) {
            continue;
        }
        const std::int64_t apart = gap(m.area, r);
        if (!best || apart < bestGap) {
            best = m;
            bestGap = apart;
        }
    }
    return best;
}

std::optional<Monitor> monitorAt(const std::vector<Monitor>& monitors, Point p) {
    // A point is a one-pixel rectangle: on a monitor it shares that pixel with it.
    const Rect pixel{p.x, p.y, p.x == INT32_MAX ? p.x : p.x + 1, p.y == INT32_MAX ? p.y : p.y + 1};
    return nearestMonitor(monitors, pixel);
}

ScreenEdge taskbarEdge(const Rect& taskbar, const Rect& monitor,
                       std::optional<ScreenEdge> claimed) noexcept {
    const bool acrossWidth = taskbar.left <= monitor.left && taskbar.right >= monitor.right;
    const bool acrossHeight = taskbar.top <= monitor.top && taskbar.bottom >= monitor.bottom;
    bool horizontal = false;
    if (acrossWidth != acrossHeight) {
        horizontal = acrossWidth;
    } else if (acrossWidth) {
        // Over the whole monitor its rectangle tells nothing.
        return claimed.value_or(ScreenEdge::Bottom);
    } else {
        horizontal = taskbar.width() >= taskbar.height();
    }
    if (horizontal) {
        return doubleMidY(taskbar) < doubleMidY(monitor) ? ScreenEdge::Top : ScreenEdge::Bottom;
    }
    return doubleMidX(taskbar) < doubleMidX(monitor) ? ScreenEdge::Left : ScreenEdge::Right;
}

std::int32_t taskbarThickness(const Rect& taskbar, ScreenEdge edge) noexcept {
    const std::int32_t t = (edge == ScreenEdge::Left || edge == ScreenEdge::Right)
                               ? taskbar.width()
                               : taskbar.height();
    return std::max(t, 0);
}

std::optional<StartButtonChoice> chooseStartButton(const ShellReport& report) {
    std::vector<const ShellTaskbar*> order;
    for (const ShellTaskbar& t : report.taskbars) {
        if (isTaskbarClass(t.window.className) && t.window.visible && !isEmpty(t.window.rect) &&
            monitorOf(report.monitors, t.window.rect)) {
            order.push_back(&t);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](const ShellTaskbar* a, const ShellTaskbar* b) {
        return taskbarRank(*a, report.monitors) < taskbarRank(*b, report.monitors);
    });
    for (const ShellTaskbar* t : order) {
        const std::optional<Monitor> monitor = monitorOf(report.monitors, t->window.rect);
        if (const auto c = startButtonOf(*t, report, *monitor)) {
            return c;
        }
    }
    return std::nullopt;
}

std::optional<StartButtonChoice> chooseStartButtonUnder(const ShellReport& report, Point pointer) {
    const std::optional<Monitor> here = monitorAt(report.monitors, pointer);
    if (!here) {
        return std::nullopt;
    }
    ShellReport local = report;
    local.taskbars.clear();
    for (const ShellTaskbar& t : report.taskbars) {
        const std::optional<Monitor> on = monitorOf(report.monitors, t.window.rect);
        if (on && on->area == here->area) {
            local.taskbars.push_back(t);
        }
    }
    if (std::optional<StartButtonChoice> c = chooseStartButton(local)) {
        return c;
    }
    const Rect work = isEmpty(intersection(here->workArea, here->area))
                          ? here->area
                          : intersection(here->workArea, here->area);
    StartButtonChoice corner;
    corner.kind = StartButtonKind::Corner;
    corner.monitor = *here;
    corner.edge = ScreenEdge::Bottom;
    corner.taskbarRect = Rect{work.left, work.bottom, work.right, work.bottom};
    corner.buttonRect = Rect{work.left, work.bottom, work.left, work.bottom};
    return corner;
}

bool taskbarSlidOff(const Rect& taskbar, const std::vector<Monitor>& monitors) {
    if (isEmpty(taskbar)) {
        return false;
    }
    const std::optional<Monitor> m = nearestMonitor(monitors, taskbar);
    if (!m) {
        return false;
    }
    if (intersection(taskbar, m->area) == m->area) {
        return false; // over the whole monitor: it has slid nowhere
    }
    const ScreenEdge edge = taskbarEdge(taskbar, m->area);
    const std::int64_t thickness = taskbarThickness(taskbar, edge);
    const bool upright = edge == ScreenEdge::Left || edge == ScreenEdge::Right;
    const std::int64_t from =
        upright ? std::max(taskbar.left, m->area.left) : std::max(taskbar.top, m->area.top);
    const std::int64_t to =
        upright ? std::min(taskbar.right, m->area.right) : std::min(taskbar.bottom, m->area.bottom);
    const std::int64_t beyond = thickness - std::max<std::int64_t>(to - from, 0);
    return beyond > std::min<std::int64_t>(kTaskbarFrameSlack, thickness / 4);
}

MenuPlacement placeMenu(const MenuRequest& q) {
    const Rect monitor = q.monitor.area;
    const Rect work = isEmpty(intersection(q.monitor.workArea, monitor))
                          ? monitor
                          : intersection(q.monitor.workArea, monitor);
    // The work area a shell reports may or may not leave its taskbar out: the menu keeps
    // off it either way.
    Rect room = work;
    switch (q.edge) {
    case ScreenEdge::Bottom:
        room.bottom = std::min(room.bottom, q.taskbar.top);
        break;
    case ScreenEdge::Top:
        room.top = std::max(room.top, q.taskbar.bottom);
        break;
    case ScreenEdge::Left:
        room.left = std::max(room.left, q.taskbar.right);
        break;
    case ScreenEdge::Right:
        room.right = std::min(room.right, q.taskbar.left);
        break;
    }
    if (isEmpty(room)) {
        room = work; // a taskbar over all of it: the menu then lies over the taskbar
    }
    MenuPlacement out;
    const std::int32_t w = std::clamp(q.width, 0, std::max(room.width(), 0));
    const std::int32_t h = std::clamp(q.height, 0, std::max(room.height(), 0));
    out.cut = w < q.width || h < q.height;

    std::int32_t top = room.top;
    switch (q.edge) {
    case ScreenEdge::Bottom:
        top = room.bottom - h;
        break;
    case ScreenEdge::Top:
        top = room.top;
        break;
    case ScreenEdge::Left:
    case ScreenEdge::Right:
        top = std::clamp(q.startButton.top, room.top, room.bottom - h);
        break;
    }
    std::int32_t left = room.left;
    switch (q.edge) {
    case ScreenEdge::Left:
        left = room.left;
        break;
    case ScreenEdge::Right:
        left = room.right - w;
        break;
    case ScreenEdge::Bottom:
    case ScreenEdge::Top: {
        const bool rightHalf = doubleMidX(q.startButton) >= doubleMidX(monitor);
        left = rightHalf ? q.startButton.right - w : q.startButton.left;
        left = std::clamp(left, room.left, room.right - w);
        break;
    }
    }
    out.rect = Rect{left, top, left + w, top + h};
    return out;
}

bool pointerLeftMenu(ScreenEdge edge, const Rect& menu, Point p) noexcept {
    const std::int64_t x = p.x;
    const std::int64_t y = p.y;
    const bool beyondLeft = x < std::int64_t{menu.left} - kMenuSideSlack;
    const bool beyondRight = x > std::int64_t{menu.right} + kMenuSideSlack;
    const bool beyondTop = y < std::int64_t{menu.top} - kMenuSideSlack;
    const bool beyondBottom = y > std::int64_t{menu.bottom} + kMenuSideSlack;
    switch (edge) {
    case ScreenEdge::Bottom:
        return y < menu.top || beyondLeft || beyondRight;
    case ScreenEdge::Top:
        return y >= menu.bottom || beyondLeft || beyondRight;
    case ScreenEdge::Left:
        return x >= menu.right || beyondTop || beyondBottom;
    case ScreenEdge::Right:
        return x < menu.left || beyondTop || beyondBottom;
    }
    return false;
}

} // namespace kesk
