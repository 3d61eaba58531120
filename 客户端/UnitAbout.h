// The About box: the client's name, version and period; one is made for each showing.
#pragma once

#include "ui_UnitAbout.h"

#include <QDialog>

class TdlgAbout : public QDialog, public Ui::TdlgAbout {
    Q_OBJECT

public:
    explicit TdlgAbout(QWidget* parent = nullptr);

    // Puts the version number in place of the form's placeholder.
    void FormCreate();
};
