#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The stand-in service's demo library as the end-to-end and live tests seed
// it: "demo" with a project holding two groups, and a scratch project.
inline QJsonObject demoSeed(const QString& localUser, const QString& localPassword) {
    const QJsonArray groups{QJsonObject{{"id", "documentary-interviews"}, {"name", "Interviews"}},
                            QJsonObject{{"id", "documentary-broll"}, {"name", "B-Roll"}}};
    const QJsonArray projects{
        QJsonObject{{"id", "documentary"}, {"name", "Documentary"}, {"group", groups}},
        QJsonObject{{"id", "scratch"}, {"name", "Scratch"}}};
    return QJsonObject{
        {"localuser", QJsonObject{{"id", localUser}, {"password", localPassword}}},
        {"libraries",
         QJsonArray{QJsonObject{
             {"dbname", "demo"}, {"name", "Demo Library"}, {"type", 0}, {"projects", projects}}}}};
}
