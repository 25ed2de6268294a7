#include "qt_ports.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

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
