#include "ParamFileActions.h"

#include "Captions.h"
#include "ConfigPage.h"
#include "Dialogs.h"
#include "InfoPage.h"
#include "untMain.h"

#include <Commandio.h>
#include <Logger.h>
#include <ParamFile.h>
#include <ParamImport.h>

namespace quillon
{

ParamFileActions::ParamFileActions(TfrmMain& frame, ConfigPage& page) : frame_(frame), page_(page) {}

void ParamFileActions::btnExportParamsClick()
{
    const QString chosen = Dialogs::saveFileName(&page_, "Text files (*.txt);;All files (*.*)");
    if (chosen.isEmpty())
        return;
    const std::string fileName = InfoPage::exportFileName(chosen).toStdString();
    if (frame_.stbType() != "1") {
        ReqExportParams request;
        request.fileName = fileName;
        frame_.queues().pushRequest(request);
        frame_.addPendingHandler([this] { return onExportParamsResponse(); });
    } else {
        exportFileName_ = fileName;
        frame_.queues().pushRequest(ReqConfigInfo(FuncRead));
        frame_.addPendingHandler([this] { return onAndroidExportResponse(); });
    }
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(409));
}

int ParamFileActions::onExportParamsResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeExportParams, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get export params response");
    switch (response->status) {
    case STA_PROGRESS:
        frame_.showStatus(uiText(409));
        if (const auto* progress = dynamic_cast<const ResExportParams*>(response.get()))
            frame_.showProgress(progress->percent);
        return 0;
    case STA_OK:
        frame_.showStatus(uiText(404));
        frame_.showProgress(100);
        frame_.setWindowMode(Idle);
        log.info("STA_OK");
        return 1;
    default:
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        frame_.setWindowMode(Idle);
        log.error("STA_ERROR");
        return 1;
    }
}

int ParamFileActions::onAndroidExportResponse()
{
    return page_.onConfigInfoResponse([this](const ConfigInfo& config) { writeParamFile(config); });
}

void ParamFileActions::writeParamFile(const ConfigInfo& config)
{
    if (!exportFileName_.empty())
        quillon::writeParamFile(exportFileName_, config);
}

void ParamFileActions::btnImportParamsClick()
{
    const QString chosen = Dialogs::openFileName(&page_, "Text file (*.txt);;INI file (*.ini);;All files (*.*)");
    if (!chosen.isEmpty())
        importParamFile(chosen);
    Logger::instance().info("Import params.");
}

void ParamFileActions::importParamFile(const QString& fileName)
{
    ParamImport import;
    std::string error;
    if (!loadParamFile(fileName.toStdString(), import, error)) {
        // A file that cannot be read leaves the page as it is.
        Logger::instance().error("%s", error.c_str());
        frame_.showError(QString::fromStdString(error));
        return;
    }
    page_.showConfigInfo(import.config);
    if (!import.messages.empty())
        Dialogs::information(&frame_, uiText(414), QString::fromStdString(import.messageText()));
}

} // namespace quillon
