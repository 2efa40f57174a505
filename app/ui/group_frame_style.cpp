#include "ui/group_frame_style.h"

#include <QApplication>
#include <QGroupBox>
#include <QProxyStyle>
#include <QStyleFactory>

namespace varnika::ui {

const char* const framed_group_sheet =
    "QGroupBox { border: 1px solid #aab0ba; border-radius: 4px; margin-top: 0.7em; padding-top: 0.35em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px;"
    " padding: 0 3px; font-weight: bold; color: #1f3a5a; }";

namespace {

constexpr const char* framed_group_style_name = "Framed_Group_Style";

// Draws and measures group boxes as the style sheet above does, and everything else as the application's
// style. A style sheet set on the window would do the same, but it puts every widget of the window under
// the style-sheet style, which looks up the sheet's rules for each widget again and again: that costs the
// window's start-up more than building its widgets. Here the rules are looked up for one sample box only.
// They name no box and no state, so the sample's rules are every box's, and the sheet's own code draws
// each box from that box's options (rectangle, caption, font metrics, state).
class FramedGroupStyle : public QProxyStyle {
public:
    FramedGroupStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
        // A box inside a window, as the window's boxes are: the margins of a layout depend on it.
        sample_ = new QGroupBox(&sample_window_);
        sample_->setStyleSheet(framed_group_sheet);
        sample_->ensurePolished();
        sheet_ = sample_->style();
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        if (is_group(widget)) {
            sheet_->drawComplexControl(control, option, painter, sample_);
        } else {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
        }
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (is_group(widget)) {
            sheet_->drawControl(element, option, painter, sample_);
        } else {
            QProxyStyle::drawControl(element, option, painter, widget);
        }
    }
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (is_group(widget)) {
            sheet_->drawPrimitive(element, option, painter, sample_);
        } else {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
        }
    }
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        return is_group(widget) ? sheet_->subControlRect(control, option, sub, sample_)
                                : QProxyStyle::subControlRect(control, option, sub, widget);
    }
    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        return is_group(widget) ? sheet_->subElementRect(element, option, sample_)
                                : QProxyStyle::subElementRect(element, option, widget);
    }
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        return is_group(widget) ? sheet_->sizeFromContents(type, option, size, sample_)
                                : QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        return is_group(widget) ? sheet_->pixelMetric(metric, option, sample_)
                                : QProxyStyle::pixelMetric(metric, option, widget);
    }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        return is_group(widget) ? sheet_->styleHint(hint, option, sample_, returned)
                                : QProxyStyle::styleHint(hint, option, widget, returned);
    }
    SubControl hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                     const QPoint& point, const QWidget* widget) const override {
        return is_group(widget) ? sheet_->hitTestComplexControl(control, option, point, sample_)
                                : QProxyStyle::hitTestComplexControl(control, option, point, widget);
    }

private:
    static bool is_group(const QWidget* widget) { return qobject_cast<const QGroupBox*>(widget) != nullptr; }

    QWidget sample_window_; // never shown
    QGroupBox* sample_ = nullptr;
    QStyle* sheet_ = nullptr;
};

} // namespace

QGroupBox* make_framed_group(QWidget* parent) {
    // One style for the boxes of a window, owned by the window: it goes with them, while the application
    // that every widget needs is still there.
    QWidget* window = parent->window();
    auto* style = window->findChild<QStyle*>(framed_group_style_name, Qt::FindDirectChildrenOnly);
    if (style == nullptr) {
        style = new FramedGroupStyle;
        style->setObjectName(framed_group_style_name);
        style->setParent(window);
    }
    auto* box = new QGroupBox(parent);
    box->setStyle(style);
    return box;
}

} // namespace varnika::ui
