// The answer-format help: how to type a true/false, choice or fill-in answer.
#pragma once

#include "ui_UnitDlgHelpSend.h"

#include <QDialog>

class TdllgHelpSend : public QDialog, public Ui::TdllgHelpSend {
    Q_OBJECT

public:
    explicit TdllgHelpSend(QWidget* parent = nullptr);
};
