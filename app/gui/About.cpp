#include "app/gui/About.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <string_view>

#include "app/gui/CaptionWidth.h"
#include "app/gui/DialogArt.h"
#include "app/gui/Product.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_About.h"

namespace app {

namespace {

// The mail link's label shows the bare address; the click opens the full link.
QString MailAddressOf(std::string_view link) {
    constexpr std::string_view scheme = "mailto:";
    if (link.substr(0, scheme.size()) == scheme)
        link.remove_prefix(scheme.size());
    return QString::fromLatin1(link.data(), static_cast<qsizetype>(link.size()));
}

void MakeLink(QLabel& label, const QString& text, const QLabel& prompt) {
    label.setText(text);
    label.setStyleSheet(QStringLiteral("color: blue;"));
    QFont font = label.font();
    font.setUnderline(true);
    label.setFont(font);
    label.setCursor(Qt::PointingHandCursor);
    // The link follows its prompt on the same line, sized to its text.
    const QFontMetrics promptMetrics(prompt.font());
    const int left = prompt.x() + promptMetrics.horizontalAdvance(prompt.text()) + 2;
    label.setGeometry(left, prompt.y(), QFontMetrics(font).horizontalAdvance(text) + 2,
                      prompt.height());
}

}  // namespace

TAboutBox::TAboutBox(QWidget* owner, DesktopServices& desktop)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FUi(std::make_unique<Ui::TAboutBox>()),
      FDesktop(desktop) {
    ApplyFormFont(*this);
    FUi->setupUi(this);
    setFixedSize(Width, Height);
    FUi->ProgramIcon->setPixmap(DrawProgramPicture(devicePixelRatioF()));
    FUi->ProgramIcon->setAttribute(Qt::WA_TranslucentBackground);
    MakeLink(*FUi->Label2, QString::fromLatin1(HomePage), *FUi->Label3);
    MakeLink(*FUi->Label1, MailAddressOf(FeedbackMailLink), *FUi->Label4);
    FUi->Label1->installEventFilter(this);
    FUi->Label2->installEventFilter(this);
    rtl::SafeCall([this] { FormCreate(this); });
}

TAboutBox::~TAboutBox() = default;

std::string TAboutBox::AboutTitle() {
    return std::string("About ") + ProductVersion + "(" + ReleaseDate + ")";
}

void TAboutBox::FormCreate(QObject*) {
    Centre();
}

void TAboutBox::Centre() {
    // Centred on the screen, not on the owner.
    if (const QScreen* place = screen()) {
        const QRect area = place->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TAboutBox::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowTitleChange)
        return;
    // The caption is longer than the box is wide: the box grows until its
    // title bar shows it whole, and the panel grows with it.
    const int wanted = std::max(Width, CaptionWidth(windowTitle(), *this));
    if (wanted == width())
        return;
    setFixedSize(wanted, Height);
    FUi->Panel1->resize(wanted - 2 * FUi->Panel1->x(), FUi->Panel1->height());
    Centre();
}

void TAboutBox::Label1Click(QObject*) {
    FDesktop.OpenOrExplain(this, FeedbackMailLink, DesktopServices::ShowMode::Normal);
}

void TAboutBox::Label2Click(QObject*) {
    FDesktop.OpenOrExplain(this, HomePage, DesktopServices::ShowMode::Normal);
}

// A link label is clicked when the left button goes up over it.
bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        auto* label = qobject_cast<QLabel*>(watched);
        if (label != nullptr && mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            if (watched == FUi->Label1) {
                rtl::SafeCall([this, watched] { Label1Click(watched); });
                return true;
            }
            if (watched == FUi->Label2) {
                rtl::SafeCall([this, watched] { Label2Click(watched); });
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace app
