// CQuillmateDlg: the installer's one window.
#pragma once

#include "install/driver_installer.h"
#include "resources/resource.h"
#include "ui/caption_fit.h"
#include "ui/dialog.h"

// Double-clicks seen on the language hot spot; every fifth switches the language.
extern int languageClickCount;

class CQuillmateDlg : public ui::CDialogEx {
 public:
  enum { IDD = IDD_QUILLMATE_DIALOG };
  // The values of `connectionType`, the answer to question 2.
  enum ConnectionType { kUsb = 0, kSerial = 1, kParallel = 2, kNetwork = 3 };

  CQuillmateDlg();
  ~CQuillmateDlg() override = default;
  const ui::MessageMap* GetMessageMap() const override;

  // Sets every caption that depends on the language: Chinese where ShowsChinese, else English.
  void ApplyLanguage(DWORD language);
  // The window's title in either language, as ApplyLanguage sets it.
  static const char* TitleText(bool chinese);

  HICON appIcon;
  int setAsDefault = 0;
  int connectionType = 0;
  ui::CListBox portList;
  CDriverInstaller installer;
  ui::CButton usbRadio;
  ui::CIPAddressCtrl ipAddress;
  ui::CStatic ipLabel;
  ui::CEdit statusText;
  ui::CEdit hintText;
  int baudChoice = 0;
  bool installing = false;

 protected:
  void DoDataExchange(ui::CDataExchange* dx) override;
  bool OnInitDialog() override;
  void OnCancel() override;

  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnDestroy();
  void OnLanguageHotspotDblClk();
  // A second start asks for the dialog (app/one_instance.cpp): restored if minimised, it
  // answers kComeForwardAnswer.
  LRESULT OnComeForward(WPARAM wParam, LPARAM lParam);

  // The port list and the controls around it, for the chosen connection type.
  void RefreshPortList();
  void ShowBaudGroup(int showCommand);
  void OnConnectionTypeClicked();
  bool OnDeviceChange(UINT eventType, DEV_BROADCAST_HDR* header);
  void OnPortListSelChange();
  void OnPortListDblClk();
  void OnIpFieldChanged(NMHDR* header, LRESULT* result);

  void OnInstall();
  bool OnSetCursor(HWND window, UINT hitTest, UINT message);
  void OnWizardLinkClicked();

 private:
  // Room for captions the template's rectangles clip, after each change of texts or controls.
  ui::CCaptionFit captionFit_;
};
