#pragma once

#include <QString>

#include <string>

namespace quillon
{

class ConfigInfo;
class ConfigPage;
class TfrmMain;

// The parameter-file buttons of the configuration page. Export: a box of the standard family
// sends its parameter list, which the worker saves; an Android box has none, so its configuration
// is read and written with writeParamFile. Import: the file is checked key by key and fills the
// page; nothing is sent and storedConfig stays as it is.
class ParamFileActions
{
public:
    ParamFileActions(TfrmMain& frame, ConfigPage& page);

    void btnExportParamsClick();
    void btnImportParamsClick();
    int onExportParamsResponse();
    int onAndroidExportResponse();
    // Writes `config` to exportFileName; failures are logged only.
    void writeParamFile(const ConfigInfo& config);
    // Reads `fileName` as the import button does: fills the page, shows the messages together.
    void importParamFile(const QString& fileName);

    const std::string& exportFileName() const { return exportFileName_; }

private:
    TfrmMain& frame_;
    ConfigPage& page_;
    std::string exportFileName_;
};

} // namespace quillon
