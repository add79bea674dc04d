// The "Batch Process" dialog driven through its controls, headless.
#include "dialogs/BatchDlg.h"
#include "document/Profile.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

void click(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

QStringList items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

void drop(CBatchDlg& d, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&d, &event);
}

void typeLevel(CBatchDlg& d, const QString& text) {
    d.level->lineEdit()->selectAll();
    QTest::keyClicks(d.level->lineEdit(), text);
    QTest::keyClick(d.level->lineEdit(), Qt::Key_Return);
}

TEST(BatchDlg, ControlsFollowTheRules) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "shelf" / "more");
    for (const char* name : {"shelf/a.wav", "shelf/more/b.ape", "shelf/c.mp3", "d.mp3", "e.txt"})
        test::writeFile(dir.file(name), {1});
    MemoryProfile profile;
    CBatchDlg d(profile);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), "Batch Process");
    EXPECT_EQ(d.start->toolTip(), "start processing files");
    EXPECT_FALSE(d.start->isEnabled());
    EXPECT_EQ(d.level->currentText(), "-1");

    // Dropping a folder takes the wave and APE files below it; a dropped .mp3 adds nothing.
    drop(d, {QString::fromStdString(dir.file("shelf")), QString::fromStdString(dir.file("d.mp3"))});
    EXPECT_EQ(items(d.files), (QStringList{QString::fromStdString(dir.file("shelf/a.wav")),
                                           QString::fromStdString(dir.file("shelf/more/b.ape"))}));
    // "Add" takes what the file dialog gives.
    d.chooseFiles = [&](QWidget*) {
        return QStringList{QString::fromStdString(dir.file("e.txt"))};
    };
    click(d.add);
    EXPECT_EQ(d.files->count(), 3);
    d.files->item(2)->setSelected(true);
    click(d.remove);
    EXPECT_EQ(d.files->count(), 2);
    EXPECT_EQ(d.cancel->text(), "Cancel");

    // Start needs a step; Normalise and Scale exclude each other; the level is clamped.
    EXPECT_FALSE(d.start->isEnabled());
    EXPECT_FALSE(d.level->isEnabled());
    click(d.normalise);
    EXPECT_TRUE(d.start->isEnabled());
    EXPECT_TRUE(d.level->isEnabled());
    typeLevel(d, "5");
    EXPECT_EQ(d.level->currentText(), "0");
    typeLevel(d, "-40");
    EXPECT_EQ(d.level->currentText(), "-30");
    click(d.scale);
    EXPECT_FALSE(d.normalise->isChecked());
    typeLevel(d, "15");
    EXPECT_EQ(d.level->currentText(), "10");
    typeLevel(d, "-2.5");
    EXPECT_EQ(d.options().levelDb, -2.5);
    click(d.scale);
    EXPECT_FALSE(d.start->isEnabled());

    // Summaries and their Configure buttons follow their check boxes.
    EXPECT_EQ(d.filterSummary->text(), "None");
    EXPECT_FALSE(d.filterConfigure->isEnabled());
    click(d.filter);
    EXPECT_TRUE(d.filterConfigure->isEnabled());
    d.configureFilters = [](QWidget*, FilterSettings& f, std::string& graphic) {
        f.RumbleOn = true;
        f.HissOn = true;
        f.HissLevel = 1;
        graphic = "Warm";
        return true;
    };
    click(d.filterConfigure);
    EXPECT_EQ(d.filterSummary->text(), "Hiss: 8\nRumble\nGraphic - Warm");
    EXPECT_EQ(d.options().graphicName, "Warm");
    click(d.declick);
    EXPECT_EQ(d.declickSummary->text(),
              "Threshold: 3\nSuper Passes: None\nPer Channel Mode\nNormal Corrections");
    d.configureDeclick = [](QWidget*, ScanSettings& s, int& passes) {
        s.sensitivity = 5;
        s.corWidth = ids::kNarrowWidth;
        s.repairMethod = ids::kRepairPrecise;
        passes = 2;
        return true;
    };
    click(d.declickConfigure);
    EXPECT_EQ(d.declickSummary->text(),
              "Threshold: 5\nSuper Passes: 2\nPer Channel Mode\nNarrow Corrections");
    EXPECT_EQ(d.options().scan.repairMethod, ids::kRepairPrecise);
    EXPECT_EQ(d.options().superPasses, 2);

    // Output type, naming and folder.
    EXPECT_FALSE(d.outputConfigure->isEnabled());
    d.outputType->setCurrentIndex(1);
    EXPECT_TRUE(d.outputConfigure->isEnabled());
    EXPECT_EQ(d.options().output.fileType, ids::kFileApe);
    EXPECT_FALSE(d.mayOverwrite->isVisibleTo(&d));
    d.naming->setCurrentIndex(1);
    EXPECT_TRUE(d.mayOverwrite->isVisibleTo(&d));
    EXPECT_EQ(d.options().naming, BatchNaming::InputNames);
    d.chooseFolder = [&](QWidget*, const QString&) {
        return QString::fromStdString(dir.file("o"));
    };
    click(d.path);
    EXPECT_EQ(get(profile, settings::kOutputPath), dir.file("o"));
    EXPECT_EQ(d.options().outputPath, dir.file("o"));
    // The external encoder needs a program that exists and a template naming the input.
    d.outputType->setCurrentIndex(3);
    EXPECT_FALSE(d.start->isEnabled());
}

struct Shelf {
    std::string oldConfig = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    std::string oldTemp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    test::TempDir dir;
    std::vector<std::string> files;
    ~Shelf() {
        for (auto [name, value] :
             {std::pair{"XDG_CONFIG_HOME", &oldConfig}, std::pair{"TMPDIR", &oldTemp}}) {
            if (value->empty())
                unsetenv(name);
            else
                setenv(name, value->c_str(), 1);
        }
    }
    Shelf() {
        for (int i = 1; i <= 3; ++i) {
            files.push_back(dir.file("side" + std::to_string(i) + ".wav"));
            test::Stereo s = test::silence(44100 * 2);
            test::Stereo m = test::music(44100 * 6, 44100, static_cast<uint32_t>(i), 6000);
            test::addClicks(m, 20, 20000, 44100 * 6 - 20000, static_cast<uint32_t>(i + 5));
            test::append(s, m);
            test::append(s, test::silence(44100 * 2));
            test::writeWav(files.back(), s);
        }
        // The command line, when several files run at once, keeps its settings here.
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        setenv("TMPDIR", dir.path().c_str(), 1);
    }
    std::map<std::string, std::vector<uint8_t>> outputs(const std::string& folder) const {
        std::map<std::string, std::vector<uint8_t>> out;
        for (const auto& e : fs::directory_iterator(folder))
            out[e.path().filename().string()] = test::readFile(e.path().string());
        return out;
    }
};

// Runs the dialog's Start over the shelf into folder, with the steps every run here uses.
QString runDialog(Shelf& shelf, MemoryProfile& profile, const std::string& folder, int atOnce) {
    set(profile, settings::kOutputPath, folder);
    fs::create_directories(folder);
    CBatchDlg d(profile);
    d.commandLineProgram = TARNIVAL_CLI;
    d.show();
    QStringList paths;
    for (const std::string& f : shelf.files) paths << QString::fromStdString(f);
    d.addPaths(paths, false);
    click(d.declick);
    click(d.filter);
    d.configureFilters = [](QWidget*, FilterSettings& f, std::string&) {
        f.RumbleOn = true;
        return true;
    };
    click(d.filterConfigure);
    click(d.normalise);
    click(d.trim);
    d.outputType->setCurrentIndex(1);
    d.filesAtOnce->setValue(atOnce);
    click(d.start);
    EXPECT_EQ(d.cancel->text(), "Done");
    EXPECT_EQ(d.files->count(), 0);
    EXPECT_EQ(get(profile, settings::kFileType), ids::kFileApe);
    return d.logPane->toPlainText();
}

TEST(BatchDlg, ARunLogsEveryStepAndSeveralFilesAtOnceGiveTheSame) {
    Shelf shelf;
    MemoryProfile profile;
    profile.setInt("Settings", "Temp Mode", ids::kTempUser);
    profile.setString("Settings", "Temp Path", shelf.dir.path().string());
    const QString one = runDialog(shelf, profile, shelf.dir.file("one"), 1);
    for (const std::string& f : shelf.files) {
        EXPECT_TRUE(one.contains(QString::fromStdString("Opening: " + f + " \n"))) << f;
    }
    for (const char* line : {"\tDetecting Clicks: Found: ", "\tRemoving Clicks\n", "\tFiltering\n",
                             "\t\tRumble Filter\n", "\tNormalising\n", "----All Done----\n"})
        EXPECT_TRUE(one.contains(line)) << line << "\n" << one.toStdString();
    const auto outputs = shelf.outputs(shelf.dir.file("one"));
    EXPECT_EQ(outputs.size(), 3u);
    EXPECT_TRUE(outputs.count("side2cor.ape"));

    const QString two = runDialog(shelf, profile, shelf.dir.file("two"), 2);
    QString expected = one;
    expected.replace(QString::fromStdString(shelf.dir.file("one")),
                     QString::fromStdString(shelf.dir.file("two")));
    EXPECT_EQ(two.toStdString(), expected.toStdString());
    EXPECT_TRUE(shelf.outputs(shelf.dir.file("two")) == outputs);
}

TEST(BatchDlg, AbortAsksThenStopsAndSavesNothingMore) {
    Shelf shelf;
    MemoryProfile profile;
    profile.setInt("Settings", "Temp Mode", ids::kTempUser);
    profile.setString("Settings", "Temp Path", shelf.dir.path().string());
    const std::string out = shelf.dir.file("out");
    fs::create_directories(out);
    set(profile, settings::kOutputPath, out);
    CBatchDlg d(profile);
    d.show();
    QStringList paths;
    for (const std::string& f : shelf.files) paths << QString::fromStdString(f);
    d.addPaths(paths, false);
    click(d.declick);
    d.filesAtOnce->setValue(1);
    // Abort as soon as the second file opens; "No" first, then "Yes".
    int asked = 0;
    bool pressing = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(box->text(), "Batch Processing will be aborted. Really abort?");
            box->button(++asked == 1 ? QMessageBox::No : QMessageBox::Yes)->click();
            return;
        }
        // Pressed from outside this handler: the question's own loop must see this timer again.
        if (!pressing && asked < 2 && d.running() &&
            d.logPane->toPlainText().contains(
                QString::fromStdString("Opening: " + shelf.files[1]))) {
            pressing = true;
            QTimer::singleShot(0, [&] {
                click(d.cancel);
                pressing = false;
            });
        }
    });
    driver.start(1);
    click(d.start);
    driver.stop();
    EXPECT_EQ(asked, 2);
    const QString log = d.logPane->toPlainText();
    EXPECT_TRUE(log.contains("All further processing will be aborted. Please Wait\n"));
    EXPECT_TRUE(log.endsWith("----Batch operation aborted----\n")) << log.toStdString();
    EXPECT_FALSE(log.contains(QString::fromStdString("Opening: " + shelf.files[2])));
    EXPECT_EQ(shelf.outputs(out).size(), 1u);
    EXPECT_TRUE(fs::exists(out + "/side1cor.wav"));
    EXPECT_EQ(d.cancel->text(), "Done");
}

} // namespace
} // namespace tarnival
