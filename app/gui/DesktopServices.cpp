#include "app/gui/DesktopServices.h"

#include "rtl/GbText.h"

namespace app {

void DesktopServices::OpenOrExplain(QWidget* owner, const std::string& target, ShowMode mode) {
    if (ShellOpen(owner, target, mode))
        return;
    ShowMessage(rtl::Gb("无法打开 ") + target +
                rtl::Gb("\n这个桌面上没有能打开它的程序. 请安装 xdg-utils 和浏览器(或邮件程序)."));
}

}  // namespace app
