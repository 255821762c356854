#include "printer_app.h"

#include "about_dlg.h"
#include "backup_store.h"
#include "orbis_platform.h"
#include "main_frame.h"
#include "npa_exchange.h"
#include "printer_discovery.h"
#include "printer_doc.h"
#include "qt_window_host.h"
#include "query_wait_dlg.h"
#include "res/strings.h"

#include <QApplication>
#include <QIcon>

namespace {
CPrinterApp* TheApp = nullptr;
}

CPrinterApp* GetPrinterApp() {
    return TheApp;
}

CPrinterApp::CPrinterApp(CQtWindowHost* host)
    : QueryFunction(QueryPrinterSettings), OwnHost(host ? nullptr : new CQtWindowHost),
      WindowHost(host ? host : OwnHost.get()) {
    if (!TheApp) TheApp = this;
}

CPrinterApp::~CPrinterApp() {
    Frame.reset();
    Doc.reset();
    Backups.reset();
    if (TheApp == this) TheApp = nullptr;
}

bool CPrinterApp::InitInstance() {
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/orbis.png")));
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QApplication::setApplicationName(QString::fromUtf8(LoadStringText(IDS_APP_TITLE)));

    DiscoverPrinters(Printers, WindowHost);
    if (!SelectPrinter(Printers, *WindowHost, SelectedPrinter, PortName)) return false;

    {
        // The worker writes QueryResult and QueriedValues; they are read only after the dialog ended.
        CQueryWaitDlg wait([this] {
            std::string port = PortName;
            QueryResult = QueryFunction ? QueryFunction(port.c_str(), QueriedValues) : kQueryFailed;
        });
        wait.exec();
    }
    if (QueryResult == kOpenFailed || QueryResult == kQueryFailed) {
        WindowHost->ShowMessage(false, LoadStringText(IDS_QUERY_FAILED),
                                LoadStringText(IDS_QUERY_FAILED_CAPTION), MessageIcon::Stop,
                                MessageButtons::Ok);
        return false;
    }

    Doc = std::make_unique<CPrinterDoc>(WindowHost);
    // The settings before every apply are kept in the root's state, where orbis-cli finds them too.
    const std::string root = orbis::platform::Root();
    if (!root.empty()) {
        Backups = std::make_unique<BackupStore>(root + "/backups");
        Doc->SetBackupStore(Backups.get());
    }
    Frame = std::make_unique<CMainFrame>(Doc.get(), WindowHost);
    Frame->QueryFunction = QueryFunction; // a re-read asks the printer the same way
    if (!Frame->OnCreate()) return false;
    if (!Doc->OnNewDocument(PortName, QueriedValues, QueryResult)) return false;
    Frame->InitialUpdateFrame(SelectedPrinter);
    Frame->show();
    return true;
}

void CPrinterApp::OnAppAbout() {
    ShowAboutBox(Frame.get());
}
