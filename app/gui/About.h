#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/gui/DesktopServices.h"

namespace Ui {
class TAboutBox;
}

namespace app {

// The About box: the program icon, the home page and the feedback mail link
// (both open through the shell when clicked) and two notice lines. It has no
// buttons; the title-bar close button closes it. The opener sets its caption.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    TAboutBox(QWidget* owner, DesktopServices& desktop);
    ~TAboutBox() override;

    // «About Perchly v1.45(2000/07/15)», as GB bytes.
    static std::string AboutTitle();

    // The box's size; it grows wider when its caption needs more room.
    static constexpr int Width = 298;
    static constexpr int Height = 178;

    void FormCreate(QObject* sender);
    void Label1Click(QObject* sender);
    void Label2Click(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Centre();

    std::unique_ptr<Ui::TAboutBox> FUi;
    DesktopServices& FDesktop;
};

}  // namespace app
