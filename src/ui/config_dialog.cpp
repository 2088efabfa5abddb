#include "ui/config_dialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tarnel::ui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QLineEdit* displayBox(QWidget* parent, int width) {
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setMinimumWidth(width);
    return box;
}

// The index from which sections go to the right column: about half the rows on each side.
std::size_t rightColumnStart(const std::vector<SectionState>& sections, bool dataFlashPanel) {
    std::vector<int> weights;
    int total = 0;
    for (const SectionState& s : sections) {
        int w = 2 + static_cast<int>(s.radios.size());
        if (dataFlashPanel && s.title == "DataFlash")
            w += 3;
        weights.push_back(w);
        total += w;
    }
    int left = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (left > 0 && 2 * (left + weights[i]) > total + weights[i])
            return i;
        left += weights[i];
    }
    return weights.size();
}

}  // namespace

QAbstractSpinBox::StepEnabled PageSpin::stepEnabled() const {
    // Arrows act reversed: up moves towards the minimum.
    StepEnabled enabled = StepNone;
    if (value() > minimum())
        enabled |= StepUpEnabled;
    if (value() < maximum())
        enabled |= StepDownEnabled;
    return isReadOnly() || !isEnabled() ? StepNone : enabled;
}

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
        dialog->buildBitPages(!readOnly);
    } else {
        return nullptr;
    }
    dialog->apply();
    return dialog;
}

QGroupBox* ConfigDialog::section(const QString& title, int page) const {
    if (tabs_) {
        QWidget* tab = tabs_->widget(page);
        if (!tab)
            return nullptr;
        for (QGroupBox* box : tab->findChildren<QGroupBox*>()) {
            if (box->title() == title)
                return box;
        }
        return nullptr;
    }
    for (QGroupBox* box : boxes_) {
        if (box->title() == title)
            return box;
    }
    return nullptr;
}

void ConfigDialog::done(int result) {
    if (timer_)
        timer_->stop();
    QDialog::done(result);
}

QWidget* ConfigDialog::buildDataFlashPanel(QWidget* parent) {
    auto* panel = new QWidget(parent);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 4, 0, 0);
    auto* sizeLabel = new QLabel(QStringLiteral("Size:"), panel);
    auto* startLabel = new QLabel(QStringLiteral("Start Address:"), panel);
    panelLabels_ = {sizeLabel, startLabel};
    sizeText_ = displayBox(panel, 90);
    startText_ = displayBox(panel, 90);
    spin_ = new PageSpin(panel);
    spin_->setToolTip(QStringLiteral("DataFlash pages"));
    grid->addWidget(sizeLabel, 0, 0);
    grid->addWidget(sizeText_, 0, 1);
    grid->addWidget(spin_, 0, 2);
    grid->addWidget(startLabel, 1, 0);
    grid->addWidget(startText_, 1, 1);
    connect(spin_, &QSpinBox::valueChanged, this, [this](int pages) {
        model_->moveSpin(static_cast<std::uint32_t>(pages));
        apply();
    });
    return panel;
}

void ConfigDialog::buildSections() {
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    QVBoxLayout* column[2] = {new QVBoxLayout, new QVBoxLayout};
    const auto& sections = model_->sections();
    const bool hasPanel = model_->dataFlash().present;
    const std::size_t split = rightColumnStart(sections, hasPanel);
    for (std::size_t s = 0; s < sections.size(); ++s) {
        auto* box = new QGroupBox(q(sections[s].title), this);
        auto* boxLayout = new QVBoxLayout(box);
        auto* group = new QButtonGroup(box);
        for (std::size_t r = 0; r < sections[s].radios.size(); ++r) {
            auto* radio = new QRadioButton(q(sections[s].radios[r].caption), box);
            group->addButton(radio, static_cast<int>(r));
            boxLayout->addWidget(radio);
        }
        if (hasPanel && !spin_ && sections[s].title == "DataFlash")
            boxLayout->addWidget(buildDataFlashPanel(box));
        connect(group, &QButtonGroup::idClicked, this, [this, s](int radio) {
            model_->clickRadio(static_cast<int>(s), radio);
            apply();
        });
        boxes_.push_back(box);
        groups_.push_back(group);
        column[s < split ? 0 : 1]->addWidget(box);
    }
    if (hasPanel && !spin_) {
        auto* box = new QGroupBox(QStringLiteral("DataFlash"), this);
        (new QVBoxLayout(box))->addWidget(buildDataFlashPanel(box));
        column[1]->addWidget(box);
    }
    for (QVBoxLayout* c : column) {
        c->addStretch();
        columns->addLayout(c, 1);
    }
    layout->addLayout(columns);
    ok_ = new QPushButton(q(model_->okCaption()), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok_, 0, Qt::AlignRight);
}

void ConfigDialog::buildBitPages(bool editing) {
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    for (int p = 0; p < bitModel_->pageCount(); ++p) {
        auto* page = new QWidget(tabs_);
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
            // Groups are listed from bit 7 down.
            const int bit = 7 - static_cast<int>(b);
            connect(group, &QButtonGroup::idClicked, this, [this, p, bit](int value) {
                bitModel_->clickBit(p, bit, value);
                apply();
            });
            boxes_.push_back(box);
            groups_.push_back(group);
            grid->addWidget(box, static_cast<int>(b / 2), static_cast<int>(b % 2));
        }
        tabs_->addTab(page, QStringLiteral("CONFIG%1").arg(p));
    }
    layout->addWidget(tabs_);

    auto* grid = new QGridLayout;
    const char* labels[4] = {
        "Clock Source:", "Brownout Voltage:", "CONFIG0's Value:", "CONFIG1's Value:"};
    const char* hints[2] = {"(depends on FOSC1/0, FS1/0)", "(depends on CBOV1/0 or BOV)"};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromLatin1(labels[i]), this);
        readouts_[static_cast<std::size_t>(i)] = displayBox(this, i < 2 ? 220 : 60);
        grid->addWidget(label, i, 0);
        grid->addWidget(readouts_[static_cast<std::size_t>(i)], i, 1);
        if (i < 2)
            grid->addWidget(new QLabel(QString::fromLatin1(hints[i]), this), i, 2);
        // The value of a CONFIG byte the part does not have is greyed.
        if (i >= 2 && bitModel_->pageCount() < i - 1) {
            label->setEnabled(false);
            readouts_[static_cast<std::size_t>(i)]->setEnabled(false);
        }
    }
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    ok_ = new QPushButton(q(bitModel_->okCaption()), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok_, 0, Qt::AlignRight);

    showReadouts();
    // While editing, the read-outs follow the job's CONFIG bytes.
    if (editing) {
        timer_ = new QTimer(this);
        timer_->setInterval(200);
        connect(timer_, &QTimer::timeout, this, &ConfigDialog::showReadouts);
        timer_->start();
    }
}

void ConfigDialog::showReadouts() {
    const ConfigDescription d = bitModel_->readouts();
    const std::string* texts[4] = {&d.clockSource, &d.brownOutVoltage, &d.config0Text,
                                   &d.config1Text};
    for (std::size_t i = 0; i < 4; ++i) {
        if (readouts_[i]->text() != q(*texts[i]))
            readouts_[i]->setText(q(*texts[i]));
    }
}

void ConfigDialog::apply() {
    if (model_) {
        const auto& sections = model_->sections();
        for (std::size_t s = 0; s < sections.size(); ++s) {
            boxes_[s]->setEnabled(sections[s].enabled);
            QButtonGroup* group = groups_[s];
            // A section may show no selection at all: let the group be unchecked.
            group->setExclusive(false);
            for (std::size_t r = 0; r < sections[s].radios.size(); ++r) {
                QAbstractButton* radio = group->button(static_cast<int>(r));
                const QSignalBlocker block(radio);
                radio->setChecked(sections[s].radios[r].selected);
                radio->setEnabled(sections[s].radios[r].enabled);
            }
            group->setExclusive(true);
        }
        const DataFlashPanelState& panel = model_->dataFlash();
        if (spin_) {
            const QSignalBlocker block(spin_);
            sizeText_->setText(q(panel.sizeText));
            startText_->setText(q(panel.startText));
            sizeText_->setEnabled(panel.textsEnabled);
            startText_->setEnabled(panel.textsEnabled);
            for (QLabel* label : panelLabels_)
                label->setEnabled(panel.textsEnabled);
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
}

}  // namespace tarnel::ui
