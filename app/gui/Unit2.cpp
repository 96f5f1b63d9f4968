#include "app/gui/Unit2.h"

#include <QFontMetrics>
#include <algorithm>

#include "app/gui/DialogArt.h"
#include "app/gui/UpDown.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "rtl/IntConv.h"
#include "ui_Unit2.h"

namespace app {

TForm2::TForm2(QWidget* owner, WatchState& state, TimerIntervalSetter setTimerInterval)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FUi(std::make_unique<Ui::TForm2>()),
      FState(state),
      FSetTimerInterval(std::move(setTimerInterval)) {
    ApplyFormFont(*this);
    FUi->setupUi(this);
    setFixedSize(249, 119);
    FUi->Image2->setPixmap(DrawClockPicture(devicePixelRatioF()));
    FUi->setedit->setTextMargins(0, 0, 0, 0);
    FUi->UpDown1->SetRange(MinSeconds, MaxSeconds);
    FUi->UpDown1->SetIncrement(1);
    FUi->UpDown1->SetWrap(false);
    PlaceIntervalControls();

    FUi->UpDown1->OnClick = [this](TUpDown& sender, TUDBtnType button) {
        UpDown1Click(&sender, button);
    };
    connect(FUi->setyes, &QPushButton::clicked, this,
            [this] { rtl::SafeCall([this] { setyesClick(FUi->setyes); }); });
    connect(FUi->setno, &QPushButton::clicked, this,
            [this] { rtl::SafeCall([this] { setnoClick(FUi->setno); }); });
    rtl::SafeCall([this] { FormCreate(this); });
}

TForm2::~TForm2() = default;

// The edit field and the arrows sit in the blank run of the sentence. Faces
// differ in how wide a blank is: where the run is too narrow for the two
// controls, the sentence takes the fixed-pitch variant of the CJK face (wide
// blanks, same Chinese glyphs) and, failing that, spaces its letters apart.
void TForm2::PlaceIntervalControls() {
    QLabel* sentence = FUi->StaticText1;
    const QString text = sentence->text();
    const qsizetype gapStart = text.indexOf(QLatin1Char(' '));
    if (gapStart < 0)
        return;
    const qsizetype gapEnd = text.lastIndexOf(QLatin1Char(' ')) + 1;
    const int needed = FUi->setedit->width() + FUi->UpDown1->width() + 4;
    const auto gapOf = [&](const QFont& face) {
        const QFontMetrics metrics(face);
        return metrics.horizontalAdvance(text.left(gapEnd)) -
               metrics.horizontalAdvance(text.left(gapStart));
    };

    QFont font = sentence->font();
    if (gapOf(font) < needed) {
        QFont fixedPitch = font;
        fixedPitch.setFamilies(
            {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei Mono")});
        if (gapOf(fixedPitch) > gapOf(font))
            font = fixedPitch;
    }
    for (int spacing = 1; gapOf(font) < needed && spacing <= 8; ++spacing) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    sentence->setFont(font);
    const QFontMetrics metrics(font);
    sentence->resize(std::max(sentence->width(), metrics.horizontalAdvance(text) + 2),
                     sentence->height());
    const int left = sentence->x() + metrics.horizontalAdvance(text.left(gapStart)) +
                     (gapOf(font) - needed) / 2 + 2;
    FUi->setedit->move(left, FUi->setedit->y());
    FUi->UpDown1->move(left + FUi->setedit->width() + 2, FUi->UpDown1->y());
}

void TForm2::FormCreate(QObject*) {
    FUi->UpDown1->SetPosition(FState.IntervalSeconds);
    FUi->setedit->setText(rtl::FromGb(rtl::IntToStr(FState.IntervalSeconds)));
}

void TForm2::UpDown1Click(QObject*, TUDBtnType) {
    FUi->setedit->setText(rtl::FromGb(rtl::IntToStr(FUi->UpDown1->Position())));
}

void TForm2::setyesClick(QObject*) {
    // The field only ever shows a whole number, but an interval outside the
    // offered range must never reach the timer (0 ms would fire without pause).
    const int seconds =
        std::clamp(rtl::StrToInt(rtl::ToGb(FUi->setedit->text())), MinSeconds, MaxSeconds);
    FState.IntervalSeconds = seconds;
    if (FSetTimerInterval)
        FSetTimerInterval(seconds * 1000);
    accept();
}

void TForm2::setnoClick(QObject*) {
    reject();
}

}  // namespace app
