#pragma once
// The log window: a list over the station's log lines. New lines keep the view at the bottom
// while the operator has it there; once the operator scrolls up to read, the view stays put.
#include <QListView>

namespace winorvex {

class Station;

class LogView : public QListView {
    Q_OBJECT

public:
    explicit LogView(Station& station, QWidget* parent = nullptr);

    bool AtBottom() const;

private:
    void RememberPosition();
    void FollowIfAtBottom();

    bool wasAtBottom_ = true;
};

}  // namespace winorvex
