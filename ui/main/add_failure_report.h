#pragma once

#include <QString>

// The one message that lists the files an adding batch could not take: the first 30 paths,
// then a line saying there were more.
class AddFailureReport {
public:
    static constexpr int kListedPaths = 30;
    static constexpr const char* kSupportAddress = "support@velmora.example";

    void addFailure(const QString& path);
    // A path that is not valid UTF-8 was refused (it is counted by addFailure too).
    void markInvalidName() { m_invalidName = true; }

    bool empty() const { return m_count == 0; }
    int count() const { return m_count; }

    // The full message; note is the list's failure note, shown when no name was refused.
    QString message(const QString& note) const;

private:
    QString m_paths;
    int m_count = 0;
    bool m_invalidName = false;
};
