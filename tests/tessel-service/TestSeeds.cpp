#include "TestSeeds.h"

#include <QJsonArray>

QJsonObject TestSeeds::standard() {
    const QJsonArray mainProjects{
        QJsonObject{
            {"id", "proj-a"},
            {"name", "Alpha"},
            {"group", QJsonArray{QJsonObject{
                          {"id", "grp-a1"},
                          {"name", "Interviews"},
                          {"group", QJsonArray{QJsonObject{{"id", "grp-a2"}, {"name", "Raw"}}}}}}}},
        QJsonObject{{"id", "proj-b"},
                    {"name", "Beta"},
                    {"group", QJsonArray{QJsonObject{{"id", "grp-b1"}, {"name", "Selects"}}}}},
    };
    return QJsonObject{
        {"localuser", QJsonObject{{"id", "local-user"}, {"password", "local-pass"}}},
        {"libraries",
         QJsonArray{
             QJsonObject{{"dbname", "main"},
                         {"name", "Main Library"},
                         {"desc", "the main one"},
                         {"type", 0},
                         {"shared", true},
                         {"projects", mainProjects}},
             QJsonObject{
                 {"dbname", "remote"},
                 {"name", "Remote Library"},
                 {"type", 1},
                 {"users", QJsonArray{QJsonObject{{"userid", "alice"}, {"password", "wonderland"}},
                                      QJsonObject{{"userid", "bob"}, {"password", "builder"}}}},
                 {"projects", QJsonArray{QJsonObject{{"id", "rp"}, {"name", "Remote Project"}}}}},
             QJsonObject{
                 {"dbname", "hidden"},
                 {"name", "Hidden"},
                 {"type", 1},
                 {"rememberuser", false},
                 {"users", QJsonArray{QJsonObject{{"userid", "carol"}, {"password", "c"}}}}},
             QJsonObject{
                 {"dbname", "odd"},
                 {"name", "Odd"},
                 {"registryentry", QJsonObject{{"address", QJsonValue::Null}, {"extra", "x"}}}},
         }},
    };
}
