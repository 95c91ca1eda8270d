// The connection choice: the port list, its prompt and notices, and the controls around it.
#include "app/quillmate_dlg.h"
#include "ports/usb_printer_ports.h"

namespace {

struct ListTexts {
  const char* chinesePrompt;
  const char* englishPrompt;
  const char* chineseNotice;
  const char* englishNotice;
};

const ListTexts kTexts[] = {
    {"请选择以下USB端口:", "Please select USB port:",
     "未检测到电脑上连接有<USB打印机>! 请您确认您的USB打印机与电脑已经正确的连接 !",
     "There is no <USB printer> connected to the computer! Please confirm that your USB printer "
     "is properly connected to the computer !"},
    {"请选择以下串口端口:", "Please select serial port:", "未检测到电脑上有<串口>设备 !",
     "No < serial > device was detected on the computer !"},
    {"请选择以下并口端口:", "Please select parallel port:", "未检测到电脑上有<并口>设备 !",
     "No device < parallel port > was detected on the computer !"},
};

}  // namespace

void CQuillmateDlg::ShowBaudGroup(int showCommand) {
  for (int id : {IDC_BAUD_GROUP, IDC_BAUD_9600, IDC_BAUD_19200, IDC_BAUD_38400, IDC_BAUD_115200})
    ::ShowWindow(GetDlgItem(id), showCommand);
}

void CQuillmateDlg::RefreshPortList() {
  std::vector<std::string> found;
  UpdateData(true);
  portList.ResetContent();
  hintText.ShowWindow(SW_HIDE);
  ShowBaudGroup(SW_HIDE);
  ui::CWnd(GetDlgItem(IDOK)).EnableWindow(true);
  bool chinese = ShowsChinese(installer.userLanguage);
  switch (connectionType) {
    case kUsb:
    case kSerial:
    case kParallel: {
      ipAddress.SetAddress(0);
      portList.ShowWindow(SW_SHOWNORMAL);
      ipAddress.EnableWindow(false);
      ipLabel.ShowWindow(SW_HIDE);
      statusText.ShowWindow(SW_HIDE);
      if (connectionType == kUsb) {
        CUsbPrinterPorts::Enumerate(found);
      } else if (connectionType == kSerial) {
        installer.EnumerateSerialPorts(found);
      } else {
        installer.EnumerateParallelPorts(found);
      }
      const ListTexts& texts = kTexts[connectionType];
      if (found.empty()) {
        statusText.SetWindowText(chinese ? texts.chineseNotice : texts.englishNotice);
        portList.ShowWindow(SW_HIDE);
        statusText.ShowWindow(SW_SHOWNORMAL);
        ui::CWnd(GetDlgItem(IDOK)).EnableWindow(false);
      } else {
        if (connectionType == kSerial) ShowBaudGroup(SW_SHOWNORMAL);
        // Only the prompt goes in sorted (into the empty list); ports keep discovery order.
        portList.AddString(chinese ? texts.chinesePrompt : texts.englishPrompt);
        for (const auto& port : found) portList.InsertString(-1, port.c_str());
        portList.SetCurSel(1);
      }
      break;
    }
    case kNetwork:
      portList.ShowWindow(SW_HIDE);
      ipAddress.EnableWindow(true);
      ipLabel.ShowWindow(SW_SHOWNORMAL);
      statusText.ShowWindow(SW_HIDE);
      break;
    default:
      break;
  }
  UpdateData(false);
  captionFit_.Fit(true);
}

void CQuillmateDlg::OnConnectionTypeClicked() {
  RefreshPortList();
}

bool CQuillmateDlg::OnDeviceChange(UINT eventType, DEV_BROADCAST_HDR* header) {
  if ((eventType == DBT_DEVICEARRIVAL || eventType == DBT_DEVICEREMOVECOMPLETE) && header &&
      header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
    UpdateData(true);
    if (connectionType == kUsb) RefreshPortList();
  }
  return false;
}

void CQuillmateDlg::OnPortListSelChange() {
  if (portList.GetCurSel() == 0) portList.SetCurSel(1);
}

void CQuillmateDlg::OnPortListDblClk() {
  int selected = portList.GetCurSel();
  if (selected == LB_ERR) return;
  // The list holds port names, which fit a spooler port name's 256 bytes; longer ones are not read.
  if (portList.GetTextLen(selected) >= 256) return;
  char portName[256] = {};
  portList.GetText(selected, portName);
  ::ConfigurePortA(nullptr, m_hWnd, portName);
}

void CQuillmateDlg::OnIpFieldChanged(NMHDR* header, LRESULT* result) {
  auto* notice = reinterpret_cast<NMIPADDRESS*>(header);
  if (notice->iValue == -1) notice->iValue = 0;
  *result = 0;
}
