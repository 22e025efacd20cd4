// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/FormatPanel.h"

#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>


namespace {

// The API mode box's words, as the test dialog's.
constexpr const char* StandardModeText = "Standard API wave format";
constexpr const char* ExtendedModeText = "Extended API wave format";

QLabel* Label(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

void FillDevices(QComboBox* box, const std::vector<ListedDevice>& devices, const QString& keep)
{
    box->clear();
    for (const ListedDevice& device : devices)
        box->addItem(QString::fromStdString(device.name));
    const int found = box->findText(keep);
    box->setCurrentIndex(found >= 0 ? found : (devices.empty() ? -1 : 0));
}

} // namespace

CFormatPanel::CFormatPanel(QWidget* parent)
    : QGroupBox("Device and format", parent), inputBox(new QComboBox), outputBox(new QComboBox),
      channelsBox(new QSpinBox), rateBox(new QComboBox), bitsBox(new QComboBox), validBitsBox(new QSpinBox),
      modeBox(new QComboBox)
{
    inputBox->setAccessibleName("Input device");
    outputBox->setAccessibleName("Output device");
    channelsBox->setAccessibleName("Channels");
    channelsBox->setRange(1, 2);
    rateBox->setAccessibleName("Sampling rate in Hz");
    rateBox->setEditable(true);
    rateBox->setValidator(new QIntValidator(1000, 768000, rateBox));
    rateBox->setInsertPolicy(QComboBox::NoInsert);
    rateBox->lineEdit()->setAccessibleName("Sampling rate in Hz");
    for (int rate : {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 384000})
        rateBox->addItem(QString::number(rate));
    bitsBox->setAccessibleName("Sampling precision in bits");
    for (int bits : {8, 16, 24, 32})
        bitsBox->addItem(QString::number(bits));
    validBitsBox->setAccessibleName("Valid precision in bits");
    modeBox->setAccessibleName("API mode");
    modeBox->addItem(StandardModeText);
    modeBox->addItem(ExtendedModeText);
    for (QComboBox* box : {inputBox, outputBox}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(24);
    }

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label("&Input device:", inputBox), 0, 0);
    grid->addWidget(inputBox, 0, 1, 1, 3);
    grid->addWidget(Label("&Output device:", outputBox), 1, 0);
    grid->addWidget(outputBox, 1, 1, 1, 3);
    grid->addWidget(Label("C&hannels:", channelsBox), 0, 4);
    grid->addWidget(channelsBox, 0, 5);
    grid->addWidget(Label("Sampling &rate (Hz):", rateBox), 1, 4);
    grid->addWidget(rateBox, 1, 5);
    grid->addWidget(Label("Sampling &precision (bits):", bitsBox), 0, 6);
    grid->addWidget(bitsBox, 0, 7);
    grid->addWidget(Label("&Valid precision (bits):", validBitsBox), 1, 6);
    grid->addWidget(validBitsBox, 1, 7);
    grid->addWidget(Label("&API mode:", modeBox), 2, 0);
    grid->addWidget(modeBox, 2, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(bitsBox, &QComboBox::currentIndexChanged, this, [this] { OnBitsChanged(); });
    bitsBox->setCurrentText("16");
    OnBitsChanged();
    validBitsBox->setValue(16);
    rateBox->setCurrentText("44100");
}

void CFormatPanel::OnBitsChanged()
{
    // Valid bits beyond the container cannot be asked for; a change of
    // container that carried all its bits keeps carrying all of them.
    const int bits = bitsBox->currentText().toInt();
    const bool whole = validBitsBox->value() == validBitsBox->maximum();
    validBitsBox->setRange(1, bits);
    if (whole)
        validBitsBox->setValue(bits);
}

void CFormatPanel::SetDevices(std::vector<ListedDevice> listedInputs, std::vector<ListedDevice> listedOutputs)
{
    const QString keepInput = inputBox->currentIndex() >= 0 ? inputBox->currentText() : rememberedInput;
    const QString keepOutput = outputBox->currentIndex() >= 0 ? outputBox->currentText() : rememberedOutput;
    inputs = std::move(listedInputs);
    outputs = std::move(listedOutputs);
    FillDevices(inputBox, inputs, keepInput);
    FillDevices(outputBox, outputs, keepOutput);
}

ChosenFormat CFormatPanel::Format() const
{
    ChosenFormat f;
    f.channels = channelsBox->value();
    f.sampleRate = rateBox->currentText().toInt();
    f.bits = bitsBox->currentText().toInt();
    f.validBits = validBitsBox->value();
    f.extended = modeBox->currentIndex() == 1;
    return f;
}

ChosenDevice CFormatPanel::Chosen(const QComboBox* box, const std::vector<ListedDevice>& devices)
{
    ChosenDevice chosen;
    chosen.position = box->currentIndex();
    chosen.id = ListedDeviceId(devices, chosen.position);
    if (chosen.id >= 0)
        chosen.name = devices[static_cast<std::size_t>(chosen.position)].name;
    return chosen;
}

ChosenDevice CFormatPanel::Input() const
{
    return Chosen(inputBox, inputs);
}

ChosenDevice CFormatPanel::Output() const
{
    return Chosen(outputBox, outputs);
}

void CFormatPanel::Restore(const QSettings& s)
{
    rememberedInput = s.value("format/input").toString();
    rememberedOutput = s.value("format/output").toString();
    if (int i = inputBox->findText(rememberedInput); i >= 0)
        inputBox->setCurrentIndex(i);
    if (int i = outputBox->findText(rememberedOutput); i >= 0)
        outputBox->setCurrentIndex(i);
    channelsBox->setValue(s.value("format/channels", 1).toInt());
    rateBox->setCurrentText(QString::number(s.value("format/rate", 44100).toInt()));
    if (int i = bitsBox->findText(QString::number(s.value("format/bits", 16).toInt())); i >= 0)
        bitsBox->setCurrentIndex(i);
    validBitsBox->setValue(s.value("format/validBits", bitsBox->currentText().toInt()).toInt());
    modeBox->setCurrentIndex(s.value("format/extended", false).toBool() ? 1 : 0);
}

void CFormatPanel::Save(QSettings& s) const
{
    // Closed before the lists came, the names remembered stay.
    const QString input = inputBox->currentIndex() >= 0 ? inputBox->currentText() : rememberedInput;
    const QString output = outputBox->currentIndex() >= 0 ? outputBox->currentText() : rememberedOutput;
    if (!input.isEmpty())
        s.setValue("format/input", input);
    if (!output.isEmpty())
        s.setValue("format/output", output);
    const ChosenFormat f = Format();
    s.setValue("format/channels", f.channels);
    s.setValue("format/rate", f.sampleRate);
    s.setValue("format/bits", f.bits);
    s.setValue("format/validBits", f.validBits);
    s.setValue("format/extended", f.extended);
}
