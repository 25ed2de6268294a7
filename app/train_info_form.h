#pragma once
// The ARS train information window ("ARS Train Information"): one ARS train's timetable
// description, routesetting status, delay and the next lines of its timetable.

#include <QDialog>

#include "core/ports.h"

class QLabel;
class QTableWidget;

namespace kestra::app {

class TTrainInfoForm : public QDialog {
  public:
    explicit TTrainInfoForm(QWidget* parent = nullptr);
    // Fills the window; the columns take the width of their widest text.
    void ShowFor(const ARSInformation& info);

    QLabel* DescriptionLabel = nullptr;
    QLabel* StatusLabel = nullptr;
    QLabel* DelayLabel = nullptr;
    QTableWidget* Grid = nullptr;
};

}  // namespace kestra::app
