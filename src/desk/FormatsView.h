// SPDX-License-Identifier: GPL-3.0-or-later
// "Formats": the format matrix of the chosen input and output at the level
// asked (accepts, delivers, transparent), with progress and Esc, shown as
// one grid per device (and one for the loop) with the legend, and the
// selected cell's details in words. The session runs off the interface
// thread.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QWidget>

#include <vector>

#include "desk/DeskContext.h"
#include "desk/FormatGrid.h"
#include "desk/SessionBar.h"

class CFormatsView final : public QWidget {
public:
    enum class State { Idle, Running, Shown, Cancelled };

    CFormatsView(const DeskContext& context, QWidget* parent = nullptr);

    bool StartMatrix();
    State CurrentState() const { return state; }
    QString StatusText() const { return bar->StatusText(); }
    const FormatMatrixResult& Result() const { return result; }
    QComboBox* LevelBox() const { return levelBox; }
    QPushButton* RunButton() const { return bar->RunButton(); }
    QTabWidget* Grids() const { return grids; }
    QPlainTextEdit* Details() const { return details; }

    void Restore(const QSettings& settings);
    void Save(QSettings& settings) const;

private:
    void ShowResult();
    QTableWidget* NewGrid(const FormatGridModel& model, const QString& name);

    DeskContext context;
    State state = State::Idle;
    FormatMatrixResult result;
    std::vector<FormatGridModel> models; // one per tab
    QComboBox* levelBox;
    CSessionBar* bar;
    QTabWidget* grids;
    QLabel* legend;
    QPlainTextEdit* details;
};
