#include "ui/config_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tarnel::ui {

namespace {
QString q(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

ConfigDialog::ConfigDialog(std::optional<ConfigEditorModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {}

std::unique_ptr<ConfigDialog> ConfigDialog::open(ProgrammingJob& job, std::uint32_t partIndex,
                                                 bool readOnly, const ConfigBytes* source,
                                                 std::optional<ConfigLayout> layout,
                                                 QWidget* parent) {
    std::unique_ptr<ConfigDialog> dialog(new ConfigDialog(
        ConfigEditorModel::open(job, partIndex, readOnly, source, layout), parent));
    const ConfigLayout chosen = layout ? *layout : configLayoutOf(job.catalogue.partAt(partIndex));
    if (dialog->model_) {
        dialog->setWindowTitle(q(dialog->model_->title()));
        dialog->buildSections();
    } else if (chosen == ConfigLayout::BitTable && ChipCatalogue::contains(partIndex)) {
        dialog->bitModel_.emplace(job, partIndex, readOnly, source);
        dialog->setWindowTitle(QStringLiteral("CONFIG Setting"));
        dialog->buildBitPages();
    } else {
        return nullptr;
    }
    dialog->apply();
    return dialog;
}

void ConfigDialog::buildSections() {
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const auto& sections = model_->sections();
    for (std::size_t s = 0; s < sections.size(); ++s) {
        auto* box = new QGroupBox(q(sections[s].title), this);
        auto* boxLayout = new QVBoxLayout(box);
        auto* group = new QButtonGroup(box);
        for (std::size_t r = 0; r < sections[s].radios.size(); ++r) {
            auto* radio = new QRadioButton(q(sections[s].radios[r].caption), box);
            group->addButton(radio, static_cast<int>(r));
            boxLayout->addWidget(radio);
        }
        connect(group, &QButtonGroup::idClicked, this, [this, s](int radio) {
            model_->clickRadio(static_cast<int>(s), radio);
            apply();
        });
        groups_.push_back(group);
        grid->addWidget(box, static_cast<int>(s / 2), static_cast<int>(s % 2));
    }
    layout->addLayout(grid);
    if (model_->dataFlash().present) {
        auto* panel = new QGroupBox(QStringLiteral("DataFlash"), this);
        auto* panelLayout = new QGridLayout(panel);
        sizeText_ = new QLabel(panel);
        startText_ = new QLabel(panel);
        spin_ = new QSpinBox(panel);
        panelLayout->addWidget(new QLabel(QStringLiteral("Size:"), panel), 0, 0);
        panelLayout->addWidget(sizeText_, 0, 1);
        panelLayout->addWidget(spin_, 0, 2);
        panelLayout->addWidget(new QLabel(QStringLiteral("Start Address:"), panel), 1, 0);
        panelLayout->addWidget(startText_, 1, 1);
        connect(spin_, &QSpinBox::valueChanged, this, [this](int pages) {
            model_->moveSpin(static_cast<std::uint32_t>(pages));
            apply();
        });
        layout->addWidget(panel);
    }
    auto* ok = new QPushButton(q(model_->okCaption()), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

void ConfigDialog::buildBitPages() {
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    for (int p = 0; p < bitModel_->pageCount(); ++p) {
        auto* page = new QWidget(tabs);
        auto* grid = new QGridLayout(page);
        const auto& bits = bitModel_->page(p);
        for (std::size_t b = 0; b < bits.size(); ++b) {
            auto* box = new QGroupBox(q(bits[b].caption), page);
            auto* boxLayout = new QHBoxLayout(box);
            auto* group = new QButtonGroup(box);
            auto* first = new QRadioButton(q(bits[b].text0), box);
            auto* second = new QRadioButton(q(bits[b].text1), box);
            group->addButton(first, 0);
            group->addButton(second, 1);
            boxLayout->addWidget(first);
            boxLayout->addWidget(second);
            // Bits are listed from bit 7 down.
            const int bit = 7 - static_cast<int>(b);
            connect(group, &QButtonGroup::idClicked, this, [this, p, bit](int value) {
                bitModel_->clickBit(p, bit, value);
                apply();
            });
            groups_.push_back(group);
            grid->addWidget(box, static_cast<int>(b / 2), static_cast<int>(b % 2));
        }
        tabs->addTab(page, QStringLiteral("CONFIG%1").arg(p));
    }
    readouts_ = new QLabel(this);
    auto* ok = new QPushButton(q(bitModel_->okCaption()), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(tabs);
    layout->addWidget(readouts_);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

void ConfigDialog::apply() {
    if (model_) {
        const auto& sections = model_->sections();
        for (std::size_t s = 0; s < sections.size() && s < groups_.size(); ++s) {
            qobject_cast<QWidget*>(groups_[s]->parent())->setEnabled(sections[s].enabled);
            for (std::size_t r = 0; r < sections[s].radios.size(); ++r) {
                QAbstractButton* radio = groups_[s]->button(static_cast<int>(r));
                const QSignalBlocker block(radio);
                radio->setChecked(sections[s].radios[r].selected);
                radio->setEnabled(sections[s].radios[r].enabled);
            }
        }
        const DataFlashPanelState& panel = model_->dataFlash();
        if (spin_) {
            const QSignalBlocker block(spin_);
            sizeText_->setText(q(panel.sizeText));
            startText_->setText(q(panel.startText));
            sizeText_->setEnabled(panel.textsEnabled);
            startText_->setEnabled(panel.textsEnabled);
            spin_->setRange(static_cast<int>(panel.spinMin), static_cast<int>(panel.spinMax));
            spin_->setValue(static_cast<int>(panel.spinPosition));
            spin_->setEnabled(panel.spinEnabled);
        }
        return;
    }
    std::size_t g = 0;
    for (int p = 0; p < bitModel_->pageCount(); ++p) {
        for (const BitGroupState& bit : bitModel_->page(p)) {
            QButtonGroup* group = groups_[g++];
            for (int v = 0; v < 2; ++v) {
                QAbstractButton* radio = group->button(v);
                const QSignalBlocker block(radio);
                radio->setChecked(bit.value == v);
                radio->setEnabled(v == 0 ? bit.enabled0 : bit.enabled1);
            }
        }
    }
    const ConfigDescription d = bitModel_->readouts();
    readouts_->setText(
        QStringLiteral("%1   %2   %3 %4")
            .arg(q(d.clockSource), q(d.brownOutVoltage), q(d.config0Text), q(d.config1Text)));
}

}  // namespace tarnel::ui
