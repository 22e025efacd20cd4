// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/FormatsView.h"

#include <QHeaderView>
#include <QSplitter>
#include <QVBoxLayout>

#include <memory>

#include "desk/DeskServices.h"
#include "desk/FormatPanel.h"

namespace {

QColor ClassColour(CellClass kind)
{
    switch (kind) {
    case CellClass::Good: return {0xc8, 0xf0, 0xc8};
    case CellClass::Refused: return {0xe4, 0xe4, 0xe4};
    case CellClass::Failed: return {0xf4, 0xb8, 0xb0};
    case CellClass::Partial: return {0xf8, 0xe0, 0xa0};
    case CellClass::Empty: break;
    }
    return Qt::white;
}

QString ProgressLine(const FormatMatrixProgress& p)
{
    const FormatKey& k = p.key;
    return QString("%1 of %2: %3 %4 Hz, %5 ch, %6/%7 bits, %8")
        .arg(p.done + 1)
        .arg(p.total)
        .arg(p.direction == WaveDirection::Input ? "input" : "output")
        .arg(k.sampleRate)
        .arg(k.channels)
        .arg(k.width.validBits)
        .arg(k.width.bits)
        .arg(k.extended ? "Extended" : "Standard");
}

} // namespace

CFormatsView::CFormatsView(const DeskContext& shared, QWidget* parent)
    : QWidget(parent), context(shared), levelBox(new QComboBox),
      bar(new CSessionBar(shared, {"Run the &matrix", "Cancel",
                                   "Ends the matrix; what was taken is kept; Esc does the same", "Matrix progress"})),
      grids(new QTabWidget), legend(new QLabel), details(new QPlainTextEdit)
{
    levelBox->setAccessibleName("Matrix level");
    levelBox->addItem("Accepts: the device opens in the format");
    levelBox->addItem("Delivers: a short recording and playback in each");
    levelBox->addItem("Transparent: bit for bit over the output wired back");
    grids->setAccessibleName("Matrix grids");
    legend->setAccessibleName("Legend");
    legend->setWordWrap(true);
    legend->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details->setReadOnly(true);
    details->setAccessibleName("Cell details");
    details->setPlaceholderText("Select a cell to see its details.");

    bar->AddField("L&evel:", levelBox);

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(grids, 1);
    leftLayout->addWidget(legend);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(details);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar);
    layout->addWidget(split, 1);

    connect(bar->RunButton(), &QPushButton::clicked, this, [this] { StartMatrix(); });
}

bool CFormatsView::StartMatrix()
{
    const ChosenDevice input = context.format->Input();
    const ChosenDevice output = context.format->Output();
    if (input.id < 0 && output.id < 0) {
        bar->SetStatus("There is no device to try");
        return false;
    }
    auto request = std::make_shared<FormatMatrixRequest>();
    request->input = input.id;
    request->output = output.id;
    request->level = static_cast<FormatLevel>(levelBox->currentIndex());
    auto taken = std::make_shared<FormatMatrixResult>();
    request->onProgress = [progress = bar->ProgressPoster(),
                           cancelled = bar->CancelPoll()](const FormatMatrixProgress& p) {
        const int percent = p.total == 0 ? 0 : static_cast<int>(100 * p.done / p.total);
        progress(percent, "Trying " + ProgressLine(p) + " (Esc cancels)");
        return !cancelled();
    };
    auto work = [request, taken] { RunFormatMatrix(WaveApi(), *request, *taken); };
    auto finished = [this, taken] {
        bar->TakeDeviceMessages(); // the cells keep each refusal's code and words
        result = *taken;
        ShowResult();
        if (!bar->Failure().isEmpty())
            bar->SetStatus(bar->Failure() + "; the cells shown were taken");
    };
    if (!bar->Start(work, finished, "Starting the matrix... (Esc cancels)"))
        return false;
    state = State::Running;
    return true;
}

QTableWidget* CFormatsView::NewGrid(const FormatGridModel& model, const QString& name)
{
    auto* table = new QTableWidget(static_cast<int>(model.rowNames.size()), static_cast<int>(model.columnNames.size()));
    table->setAccessibleName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTabKeyNavigation(false);
    QStringList rows, columns;
    for (const std::string& r : model.rowNames)
        rows << QString::fromStdString(r);
    for (const std::string& c : model.columnNames)
        columns << QString::fromStdString(c);
    table->setVerticalHeaderLabels(rows);
    table->setHorizontalHeaderLabels(columns);
    for (std::size_t r = 0; r < model.cells.size(); ++r)
        for (std::size_t c = 0; c < model.cells[r].size(); ++c) {
            const GridCell& cell = model.cells[r][c];
            auto* item = new QTableWidgetItem(QString::fromStdString(cell.mark));
            item->setTextAlignment(Qt::AlignCenter);
            item->setBackground(ClassColour(cell.kind));
            item->setForeground(Qt::black);
            item->setToolTip(QString::fromStdString(cell.details));
            table->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    const std::size_t index = models.size();
    models.push_back(model);
    connect(table, &QTableWidget::currentCellChanged, this, [this, index](int row, int column) {
        if (row < 0 || column < 0)
            return;
        details->setPlainText(QString::fromStdString(
            models[index].cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)].details));
    });
    return table;
}

void CFormatsView::ShowResult()
{
    grids->clear();
    models.clear();
    details->clear();
    for (const FormatDeviceMatrix& device : result.devices) {
        const QString name = QString(device.direction == WaveDirection::Input ? "Input: %1" : "Output: %1")
                                 .arg(QString::fromStdString(device.name));
        grids->addTab(NewGrid(DeviceGrid(device, result.level), name), name);
    }
    if (result.level == FormatLevel::Transparent)
        grids->addTab(NewGrid(LoopGrid(result.loop), "Loop"), "Loop");
    QString legendText;
    for (const std::string& line : FormatLegend(result.level))
        legendText += QString::fromStdString(line) + "\n";
    legend->setText(legendText.trimmed());
    state = result.cancelled ? State::Cancelled : State::Shown;
    if (!result.cancelled)
        bar->SetProgress(100);
    bar->SetStatus(QString("%1 in %2 s%3")
                        .arg(result.cancelled ? "Cancelled: the empty cells were not tried" : "Done")
                        .arg(result.elapsedMs / 1000.0, 0, 'f', 1)
                        .arg(result.DeviceFailed() ? "; a device failed other than by refusing a format" : ""));
}

void CFormatsView::Restore(const QSettings& s)
{
    levelBox->setCurrentIndex(std::clamp(s.value("formats/level", 0).toInt(), 0, 2));
}

void CFormatsView::Save(QSettings& s) const
{
    s.setValue("formats/level", levelBox->currentIndex());
}
