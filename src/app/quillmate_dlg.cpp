// CQuillmateDlg: members, message table, opening, painting, language switch and closing.
#include "app/quillmate_dlg.h"

#include "app/one_instance.h"
#include "package/driver_package.h"
#include "ports/usb_printer_ports.h"
#include "ui/paint_dc.h"
#include "ui/win_app.h"

int languageClickCount = 1;

CQuillmateDlg::CQuillmateDlg() : CDialogEx(IDD) {
  appIcon = ui::AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

// clang-format off
BEGIN_MESSAGE_MAP(CQuillmateDlg)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDOK, OnInstall)
  ON_LBN_SELCHANGE(IDC_PORT_LIST, OnPortListSelChange)
  ON_BN_CLICKED(IDC_USB, OnConnectionTypeClicked)
  ON_BN_CLICKED(IDC_SERIAL, OnConnectionTypeClicked)
  ON_BN_CLICKED(IDC_PARALLEL, OnConnectionTypeClicked)
  ON_BN_CLICKED(IDC_NETWORK, OnConnectionTypeClicked)
  ON_WM_DEVICECHANGE()
  ON_LBN_DBLCLK(IDC_PORT_LIST, OnPortListDblClk)
  ON_BN_CLICKED(IDCANCEL, OnCancel)
  ON_WM_SETCURSOR()
  ON_BN_CLICKED(IDC_WIZARD_LINK, OnWizardLinkClicked)
  ON_NOTIFY(IPN_FIELDCHANGED, IDC_IP_ADDRESS, OnIpFieldChanged)
  ON_WM_DESTROY()
  ON_STN_DBLCLK(IDC_LANGUAGE_HOTSPOT, OnLanguageHotspotDblClk)
  ON_REGISTERED_MESSAGE(ComeForwardMessage(), OnComeForward)
END_MESSAGE_MAP()
// clang-format on

void CQuillmateDlg::DoDataExchange(ui::CDataExchange* dx) {
  ui::DDX_Radio(dx, IDC_DEFAULT_NO, setAsDefault);
  ui::DDX_Radio(dx, IDC_USB, connectionType);
  ui::DDX_Control(dx, IDC_PORT_LIST, portList);
  ui::DDX_Control(dx, IDC_USB, usbRadio);
  ui::DDX_Control(dx, IDC_IP_ADDRESS, ipAddress);
  ui::DDX_Control(dx, IDC_IP_LABEL, ipLabel);
  ui::DDX_Control(dx, IDC_STATUS_TEXT, statusText);
  ui::DDX_Control(dx, IDC_HINT_TEXT, hintText);
  ui::DDX_Radio(dx, IDC_BAUD_9600, baudChoice);
}

bool CQuillmateDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
  ApplyLanguage(installer.userLanguage);
  // Captured only now, so that the one layout at the opening is the port list's, with the
  // captions and the notice it shows; nothing has moved the controls yet.
  captionFit_.Capture(m_hWnd);
  ipAddress.SetAddress(0);
  RefreshPortList();
  // USB printers coming and going refresh the list; without the notices it just does not follow.
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kUsbPrintInterface;
  ::RegisterDeviceNotificationA(m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  // The package of the start-up language; a later switch does not unpack again.
  UnpackDriverPackage(installer.userLanguage);
  return true;
}

void CQuillmateDlg::OnPaint() {
  if (!IsIconic()) {
    CDialogEx::OnPaint();
    return;
  }
  ui::CPaintDC dc(m_hWnd);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
  int iconWidth = ::GetSystemMetrics(SM_CXICON);
  int iconHeight = ::GetSystemMetrics(SM_CYICON);
  RECT client{};
  GetClientRect(&client);
  int x = (client.right - client.left - iconWidth + 1) / 2;
  int y = (client.bottom - client.top - iconHeight + 1) / 2;
  ::DrawIcon(dc.Get(), x, y, appIcon);
}

HCURSOR CQuillmateDlg::OnQueryDragIcon() {
  return static_cast<HCURSOR>(appIcon);
}

void CQuillmateDlg::OnCancel() {
  CDialogEx::OnCancel();
}

void CQuillmateDlg::OnDestroy() {
  CDialogEx::OnDestroy();
  char currentDirectory[MAX_PATH] = {};
  ::GetCurrentDirectoryA(MAX_PATH, currentDirectory);
  installer.DeleteFolderContents(currentDirectory);
}

LRESULT CQuillmateDlg::OnComeForward(WPARAM, LPARAM) {
  if (IsIconic()) ShowWindow(SW_RESTORE);
  return kComeForwardAnswer;
}

void CQuillmateDlg::OnLanguageHotspotDblClk() {
  int clicks = languageClickCount++;
  if (clicks % 5 != 0) return;
  installer.userLanguage = installer.userLanguage == kChineseSimplified ? 1033 : kChineseSimplified;
  ApplyLanguage(installer.userLanguage);
}
