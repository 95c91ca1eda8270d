// The main dialog's captions in Chinese (GBK) and English.
#include "app/quillmate_dlg.h"

namespace {

struct Caption {
  int id;  // 0: the dialog's own title
  const char* chinese;
  const char* english;
};

// In the order they are set.
constexpr Caption kCaptions[] = {
    {0, "Korvex 80系列打印机驱动安装", "Korvex 80 Series printer driver"},
    {IDC_DEFAULT_GROUP, "1. 您是否需要将此次安装设置为系统默认的打印机?",
     "1.Set this printer to the system's default printer?"},
    {IDC_DEFAULT_NO, "否 (不设置为默认)", "No (not default)"},
    {IDC_DEFAULT_YES, "是 (设置为默认)", "Yes (default)"},
    {IDC_CONNECTION_GROUP, "2. 您的打印机通过哪种方式与电脑连接 ?",
     "2.How does your printer connect to your computer?"},
    {IDC_SERIAL, "串口", "COM"},
    {IDC_PARALLEL, "并口", "LPT"},
    {IDC_NETWORK, "以太网", "LAN"},
    {IDC_IP_LABEL, "打印机 IP 地址:", "Printer IP address:"},
    {IDC_BAUD_GROUP, "* 波特率 ", "Baud rate"},
    {IDOK, "开始安装打印机驱动", "installing the printer driver"},
    {IDCANCEL, "退出", "Exit"},
    {IDC_WIZARD_LINK, "*安装出现问题 ? 点击这里尝试使用向导进行安装.",
     "*Click here to try the installation using the wizard."},
};

}  // namespace

const char* CQuillmateDlg::TitleText(bool chinese) {
  return chinese ? kCaptions[0].chinese : kCaptions[0].english;
}

void CQuillmateDlg::ApplyLanguage(DWORD language) {
  bool chinese = ShowsChinese(language);
  for (const Caption& caption : kCaptions) {
    HWND window = caption.id == 0 ? m_hWnd : GetDlgItem(caption.id);
    ::SetWindowTextA(window, chinese ? caption.chinese : caption.english);
  }
  captionFit_.Fit();
}
