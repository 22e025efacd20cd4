// SPDX-License-Identifier: GPL-3.0-or-later
// The devices and the format every view measures in: the same device lists
// as the test dialog (ListedDevices.h: a device whose capability query
// fails is left out, the entry's own number is opened) and the test's
// format fields (channels, rate, sample bits, valid bits, API mode). What
// was chosen is kept in the window's settings and comes back at the next
// start; a device is found again by its name, also when the lists come
// after the settings (the window lists the devices once it shows).
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QSettings>
#include <QSpinBox>

#include <vector>

#include "audio/ListedDevices.h"

struct ChosenFormat {
    int channels = 1;
    int sampleRate = 44100;
    int bits = 16;
    int validBits = 16;
    bool extended = false;
};

struct ChosenDevice {
    int position = -1;       // in the list; -1 when the list is empty
    std::int32_t id = -1;    // the wave API's number
    std::string name;
};

class CFormatPanel final : public QGroupBox {
public:
    explicit CFormatPanel(QWidget* parent = nullptr);

    // Fills the device lists (ListWaveDevices' of each direction), keeping
    // the chosen names, or the remembered ones while none was chosen.
    void SetDevices(std::vector<ListedDevice> inputs, std::vector<ListedDevice> outputs);
    ChosenFormat Format() const;
    ChosenDevice Input() const;
    ChosenDevice Output() const;

    // The fields from the settings (defaults: the test dialog's start values).
    void Restore(const QSettings& settings);
    void Save(QSettings& settings) const;

    QComboBox* InputBox() const { return inputBox; }
    QComboBox* OutputBox() const { return outputBox; }
    QSpinBox* ChannelsBox() const { return channelsBox; }
    QComboBox* RateBox() const { return rateBox; }
    QComboBox* BitsBox() const { return bitsBox; }
    QSpinBox* ValidBitsBox() const { return validBitsBox; }
    QComboBox* ModeBox() const { return modeBox; }

private:
    static ChosenDevice Chosen(const QComboBox* box, const std::vector<ListedDevice>& devices);
    void OnBitsChanged();

    QComboBox* inputBox;
    QComboBox* outputBox;
    QSpinBox* channelsBox;
    QComboBox* rateBox;
    QComboBox* bitsBox;
    QSpinBox* validBitsBox;
    QComboBox* modeBox;
    std::vector<ListedDevice> inputs;
    std::vector<ListedDevice> outputs;
    // The names the settings hold, until lists that have them come.
    QString rememberedInput;
    QString rememberedOutput;
};
