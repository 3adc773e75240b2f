#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Answers each question box opening while it lives with the next answer (Escape when none left).
struct QuestionAnswers {
    explicit QuestionAnswers(QList<QMessageBox::StandardButton> answers = {})
        : m_answers(std::move(answers)) {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->isVisible() && !box->property("answered").toBool()) {
                box->setProperty("answered", true);
                asked << box->text();
                QMetaObject::invokeMethod(m_answers.isEmpty() ? box->escapeButton()
                                                              : box->button(m_answers.takeFirst()),
                                          "click", Qt::QueuedConnection);
            }
        });
        m_poll.start(5);
    }
    QStringList asked;

private:
    QList<QMessageBox::StandardButton> m_answers;
    QTimer m_poll;
};
