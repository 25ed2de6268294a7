#include "qt_ports.h"

#include "train_info_form.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "report_forms.h"

namespace kestra::app {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

void QtDialogs::ShowError(const std::string& text) {
    QMessageBox::critical(parent_, "Kestra", Q(text));
}

void QtDialogs::ShowInformation(const std::string& text) {
    QMessageBox::information(parent_, "Kestra", Q(text));
}

bool QtDialogs::Confirm(const std::string& text) {
    return QMessageBox::question(parent_, "Kestra", Q(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::InputBox(const std::string& caption,
                                               const std::string& prompt,
                                               const std::string& proposal) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent_, Q(caption), Q(prompt), QLineEdit::Normal, Q(proposal), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

namespace {
// "Description|pattern|Description|pattern" as Qt's "Description;;Description": the
// descriptions already name their patterns. Qt matches the patterns without regard to
// case, so "*.WTT" finds "weekday.wtt" too.
QString QtFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i];
    return out.join(";;");
}

// The folder a dialog opens in: relative to the current folder, the current folder
// itself when it does not exist.
QString StartFolder(const std::string& folder) {
    const QDir dir(Q(folder));
    return dir.exists() ? dir.absolutePath() : QDir::currentPath();
}
}  // namespace

std::optional<std::string> QtDialogs::OpenFile(const FileChoice& choice) {
    QFileDialog dialog(parent_, "Open", StartFolder(choice.InitialFolder), QtFilter(choice.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(Q(choice.DefaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

std::optional<std::string> QtDialogs::SaveFile(const FileChoice& choice) {
    QFileDialog dialog(parent_, "Save As", StartFolder(choice.InitialFolder),
                       QtFilter(choice.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(Q(choice.DefaultExtension));
    dialog.selectFile(Q(choice.ProposedName));
    // The dialog itself asks before an existing file is replaced.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

void QtDialogs::ShowAnalysis(const std::vector<std::string>& lines) {
    TPerformanceForm form(lines, reportSim_, parent_);
    form.exec();
}

void QtDialogs::ShowARSInformation(const ARSInformation& info) {
    auto* form = dynamic_cast<TTrainInfoForm*>(trainInfo_.data());
    if (!form) {
        form = new TTrainInfoForm(parent_);
        form->setAttribute(Qt::WA_DeleteOnClose);
        trainInfo_ = form;
    }
    form->ShowFor(info);
    form->show();
    form->raise();
}

void QtSound::PlayFile(const std::string& path) {
    if (path.empty() || !QFileInfo::exists(Q(path))) return;
    auto& effect = effects_[path];
    if (!effect) {
        effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl::fromLocalFile(Q(path)));
    }
    effect->play();
}

std::optional<std::string> QtSettings::Read(const std::string& name) {
    const QString key = Q(name);
    if (!settings_.contains(key)) return std::nullopt;
    const QVariant value = settings_.value(key);
    if (!value.canConvert<QString>()) return std::nullopt;
    return value.toString().toStdString();
}

void QtSettings::Write(const std::string& name, const std::string& value) {
    if (settings_.status() != QSettings::NoError) return;
    settings_.setValue(Q(name), Q(value));
}

}  // namespace kestra::app
