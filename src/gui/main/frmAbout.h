#pragma once

#include <QDialog>

// The version window: logo, icon, name and version; centred on the screen, closed by "OK".
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};
