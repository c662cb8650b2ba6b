#include "ui/theme_manager.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <cmath>

namespace ui {

QColor ThemeManager::textOn(const QColor& back)
{
    // Relative luminance: black text reads better above about 0.18, white below.
    const auto channel = [](int v) {
        const double c = v / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double l = 0.2126 * channel(back.red()) + 0.7152 * channel(back.green()) + 0.0722 * channel(back.blue());
    return (l + 0.05) / 0.05 >= 1.05 / (l + 0.05) ? QColor(Qt::black) : QColor(Qt::white);
}

QString ThemeManager::styleSheet(const ThemeLook& look)
{
    const QString accentText = textOn(look.accent).name();
    QString css = QString("#CommandBar QTabBar::tab:selected { background: %1; color: %2; }"
                          "#CommandBar QTabBar::tab { padding: 3px 10px; }"
                          "#RibbonPanel { border-right: 1px solid %3; }"
                          "#RibbonPanelTitle { color: %4; }"
                          "QDockWidget::title { background: %1; color: %2; padding: 2px; }")
                      .arg(look.accent.name(), accentText, look.button.darker(130).name(), look.text.name());
    if (look.chrome.isValid()) {
        // The bars take the chrome colour with a text colour chosen against
        // it; the windows inside keep the window colour and its text.
        const QString bar = look.chrome.name(), barText = textOn(look.chrome).name();
        // A checked or pressed button (Connect, the pane switches) gets a
        // face of its own a little lighter than the bar, so the bar's text
        // colour reads on it as on the bar; the style's own sunken face
        // is the light window colour.
        const QColor face = look.chrome.lighter(260);
        css += QString("#CommandBar > QTabWidget, #CommandBar > QTabWidget > QStackedWidget > QWidget,"
                       " #CommandBar QTabBar, #RibbonTabRow, #QuickAccess, QStatusBar, QMdiArea > QTabBar,"
                       " ui--DocumentArea QTabBar"
                       " { background: %1; color: %2; }"
                       "#CommandBar QTabBar::tab:!selected { background: %1; color: %2; }"
                       "#CommandBar QToolButton, #CommandBar QLabel, #RibbonPanelTitle, QStatusBar QLabel"
                       " { color: %2; }"
                       "#CommandBar QToolButton:checked, #CommandBar QToolButton:pressed"
                       " { background: %4; color: %5; border: 1px solid %3; border-radius: 2px; }"
                       "#RibbonPanel { border-right: 1px solid %3; }")
                   .arg(bar, barText, look.chrome.lighter(160).name(), face.name(), textOn(face).name());
    }
    if (!look.background.isEmpty())
        css += QString("#CommandBar > QTabWidget { background-image: url(%1); }").arg(look.background);
    return css;
}

void ThemeManager::apply(const ThemeLook& look, QWidget* target)
{
    QPalette p;
    p.setColor(QPalette::Window, look.window);
    p.setColor(QPalette::Base, look.base);
    p.setColor(QPalette::AlternateBase, look.base.darker(105));
    p.setColor(QPalette::Text, look.text);
    p.setColor(QPalette::WindowText, look.text);
    p.setColor(QPalette::ButtonText, look.text);
    p.setColor(QPalette::Button, look.button);
    p.setColor(QPalette::Highlight, look.highlight);
    p.setColor(QPalette::HighlightedText, textOn(look.highlight));
    p.setColor(QPalette::ToolTipBase, look.base);
    p.setColor(QPalette::ToolTipText, look.text);
    // A hint ("<ALL>" in a filter bar) is set back from the text but still
    // reads on the edit: most of the way from the base to the text colour.
    const auto toward = [](int from, int to) { return from + (to - from) * 7 / 10; };
    p.setColor(QPalette::PlaceholderText,
               QColor(toward(look.base.red(), look.text.red()), toward(look.base.green(), look.text.green()),
                      toward(look.base.blue(), look.text.blue())));
    // A disabled item (a menu's command that does not apply, a radio button
    // that is off) must read as such, yet still be read: two thirds of the
    // way from the background to the text, and without the light etching
    // that made it look bolder than an enabled one on a dark look.
    const auto faded = [](const QColor& from, const QColor& to) {
        const auto mix = [](int a, int b) { return a + (b - a) * 2 / 3; };
        return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
    };
    p.setColor(QPalette::Disabled, QPalette::Text, faded(look.base, look.text));
    p.setColor(QPalette::Disabled, QPalette::WindowText, faded(look.window, look.text));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, faded(look.button, look.text));
    p.setColor(QPalette::Disabled, QPalette::Light, look.window);
    if (target) {
        target->setPalette(p);
        target->setStyleSheet(styleSheet(look));
    } else if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setPalette(p);
        app->setStyleSheet(styleSheet(look));
    }
}

} // namespace ui
