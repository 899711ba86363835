#pragma once

#include "console/data_area_settings.h"
#include "console/template_dialog.h"

// Template 116: each table's address window as a start and a size, and which of its function
// codes the server answers. OK checks everything before applying anything.
class ConfigureAreasDialog : public TemplateDialog {
    Q_OBJECT

public:
    explicit ConfigureAreasDialog(QWidget* owner);

protected:
    void OnCommand(int controlId) override;

private:
    void ShowSettings(const DataAreaSettings& settings);
    bool CheckAndApply();
};
