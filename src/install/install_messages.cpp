// The catalogue's texts in Chinese (GBK) and English.
#include "install/install_messages.h"

namespace {

const InstallMessages kChinese = {
    "请选择一个打印机类型",
    "安装过程发生错误！",
    "安装过程发生错误！\n请尝试<以管理员身份运行>安装文件。",
    "安装失败！",
    "安装成功！\n点击<确定>将退出此程序！",
    "安装成功！\n是否打印测试页？\n选择<是>将打印测试页。\n选择<否>将退出此程序。",
    "是否设置成默认打印机",
    "开始安装",
    "               .  \r\n\r\n\r\n\r\n\r\n        恭喜！      \r\n如果您可以读取这个 \r\n"
    "信息，说明打印机驱 \r\n动已经安装成功了！  \r\n感谢您的使用！  \r\n\r\n打印机名称：\r\n"
    "\r\n\r\n\r\n\r\n   ** 测试页结束 **\r\n",
    "安装打印机驱动过程发生错误！",
    "您的系统不支持此安装方式，\n是否尝试使用<添加打印机>方式进行安装？",
};

const InstallMessages kEnglish = {
    "Plese select a printer series",
    "Malfunction !",
    "Malfunction !\nPls try using <Run as administrator>open this App",
    "Install Failed !",
    "Succeed !\nClick <OK> to exit !",
    "Succeed !\nPrint test page ?\nClick<Yes>to print test page .\nClick<No>to exit .",
    "Set default printer ?",
    "Install Now",
    "               .  \r\n\r\n\r\n\r\n\r\n  Congratulations !   \r\nIf you can read this\r\n"
    "information you have \r\nsucceed intall this\r\nprinter driver !  \r\n\r\nPrinter Name:\r\n"
    "\r\n\r\n\r\n\r\n ** Test page end **\r\n",
    "Install printer driver failed !",
    "Your system does not support this installation,\n Try to use the <Add Printer> to install ?",
};

}  // namespace

bool ShowsChinese(DWORD language) {
  return language == kChineseSimplified && ::GetACP() == 936;
}

InstallMessages& InstallMessages::Load(DWORD language) {
  *this = ShowsChinese(language) ? kChinese : kEnglish;
  return *this;
}
