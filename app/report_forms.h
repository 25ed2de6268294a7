#pragma once
// The assessment windows: the train list with its commands ("Train List"), the
// performance analysis ("Performance Analysis") and the punctuality report
// ("Punctuality Report").

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

#include "trains/train_list.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace kestra {
class Sim;
}

namespace kestra::app {

// The train list, shown modally. The game runs on behind it: the grid is filled again
// every second, and every command finds its train again before it acts.
class TTrainListForm : public QDialog {
    Q_OBJECT
  public:
    explicit TTrainListForm(Sim& sim, QWidget* parent = nullptr);

    QTableWidget* StringGrid = nullptr;
    QPushButton* OkButton = nullptr;
    QMenu* TrainPopupMenu = nullptr;

    // Fills the grid from the trains in the area, keeping the selection on the same
    // description.
    void Refresh();
    const std::vector<TrainListRow>& Rows() const { return rows_; }
    // Selects the data row of the train with this description; false when none.
    bool SelectTrain(const std::string& description);
    // Runs a command of the pop-up menu on the selected row.
    TrainCommandResult RunCommand(TrainCommand command);

  private:
    Sim& sim_;
    std::vector<TrainListRow> rows_;
    QTimer refresh_;
};

// The performance analysis: a read-only text "Details" and "&Ok". Enter, line feed or
// Escape in the text closes it. With a simulation it also opens the graph and the
// punctuality report of the game that is being analysed.
class TPerformanceForm : public QDialog {
    Q_OBJECT
  public:
    TPerformanceForm(const std::vector<std::string>& lines, Sim* sim, QWidget* parent = nullptr);
    QPlainTextEdit* Details = nullptr;
    QPushButton* OkButton = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The punctuality report: every timing-point report with its booked and actual times
// and lateness, the summaries by train and by location, and "Save as CSV...".
class TPunctualityForm : public QDialog {
    Q_OBJECT
  public:
    explicit TPunctualityForm(Sim& sim, QWidget* parent = nullptr);
    QTableWidget* Reports = nullptr;
    QPlainTextEdit* Summary = nullptr;
    void Refresh();
    // Writes the CSV; false with error set when it cannot.
    bool SaveCsv(const std::string& path, std::string& error) const;

  private:
    Sim& sim_;
};

}  // namespace kestra::app
