#include "LumaretApp.h"

#include "LumaretDlg.h"

CLumaretApp theApp;

bool CLumaretApp::InitInstance() {
    CLumaretDlg dlg;
    dlg.DoModal();
    return false;
}
