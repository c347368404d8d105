#pragma once

#include <QByteArray>
#include <QMessageLogContext>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the lines logged in one category (e.g. "torv.link") for its
// lifetime; one trace at a time.
class CategoryTrace {
public:
    explicit CategoryTrace(const char* category) : m_category(category)
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&Collect);
    }
    ~CategoryTrace()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    CategoryTrace(const CategoryTrace&) = delete;
    CategoryTrace& operator=(const CategoryTrace&) = delete;

    QStringList lines;

private:
    static void Collect(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        if (s_current != nullptr && context.category != nullptr && s_current->m_category == context.category)
            s_current->lines << text;
    }

    inline static CategoryTrace* s_current = nullptr;
    QByteArray m_category;
    QtMessageHandler m_previous = nullptr;
};
