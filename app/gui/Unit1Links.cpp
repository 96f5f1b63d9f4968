#include <QAction>
#include <QMenu>

#include "app/gui/Unit1.h"
#include "app/watch/PromptFile.h"
#include "rtl/ErrorReport.h"
#include "rtl/GbText.h"
#include "ui_Unit1.h"

namespace app {

// The link submenu is built from Message.ini each time the help menu opens, so
// it always shows the file as it stands; the items carry their entry number.
void TForm1::ConnectLinkHandlers() {
    connect(ui->mnuTray4, &QMenu::aboutToShow, this,
            [this] { rtl::SafeCall([this] { mnuTray4Click(); }); });
    connect(ui->mnuTrayEdit, &QAction::triggered, this,
            [this] { rtl::SafeCall([this] { mnuTrayEditClick(); }); });
}

void TForm1::mnuTray4Click() {
    // Emptied first, so a file that cannot be read leaves an empty submenu.
    for (QAction* item : ui->mnuTrayQt->actions()) {
        ui->mnuTrayQt->removeAction(item);
        item->deleteLater();
    }
    const std::vector<std::string> captions = ReadLinkCaptions(MessageFile());
    for (size_t tag = 0; tag < captions.size(); ++tag) {
        auto* item = new QAction(rtl::FromGb(captions[tag]), ui->mnuTrayQt);
        item->setData(static_cast<int>(tag));
        connect(item, &QAction::triggered, this,
                [this, item] { rtl::SafeCall([this, item] { Myclick(item); }); });
        ui->mnuTrayQt->addAction(item);
    }
}

void TForm1::Myclick(QObject* sender) {
    auto* item = qobject_cast<QAction*>(sender);
    if (item == nullptr)
        return;
    bool isTag = false;
    const int tag = item->data().toInt(&isTag);
    if (!isTag)
        return;
    // The file may have lost entries since the menu was built: then nothing opens.
    const std::optional<std::string> target = LinkTarget(MessageFile(), tag);
    if (target)
        FDesktop.OpenOrExplain(this, *target, DesktopServices::ShowMode::Normal);
}

void TForm1::mnuTrayEditClick() {
    // The desktop takes GB text; the path is in the file system's spelling.
    FDesktop.OpenOrExplain(this, rtl::GbFromPath(MessageFile()), DesktopServices::ShowMode::Normal);
}

}  // namespace app
