// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what a screen reader sees of the running desktop program over
// AT-SPI: one line per accessible object under the applications on the
// accessibility bus, as role, name, description and the names of the
// objects it is labelled by, separated by tabs. Exit status 1 when the bus
// cannot be reached.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

#include <cstdio>

namespace {

constexpr int RelationLabelledBy = 2;
constexpr int MaxDepth = 32;

struct Node {
    QString bus;
    QString path;
};

QDBusMessage Call(const QDBusConnection& bus, const Node& node, const QString& interface, const QString& method,
                  const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(node.bus, node.path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, 5000);
}

QString Text(const QDBusConnection& bus, const Node& node, const char* method)
{
    QDBusMessage reply = Call(bus, node, QStringLiteral("org.a11y.atspi.Accessible"), QString::fromLatin1(method));
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() ? reply.arguments()[0].toString()
                                                                                      : QString();
}

QString Property(const QDBusConnection& bus, const Node& node, const char* name)
{
    QDBusMessage reply = Call(bus, node, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                              {QStringLiteral("org.a11y.atspi.Accessible"), QString::fromLatin1(name)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments()[0].value<QDBusVariant>().variant().toString();
}

// An a(so) list of object references.
QList<Node> References(const QDBusArgument& argument)
{
    QList<Node> nodes;
    argument.beginArray();
    while (!argument.atEnd()) {
        Node node;
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> node.bus >> path;
        argument.endStructure();
        node.path = path.path();
        nodes << node;
    }
    argument.endArray();
    return nodes;
}

QList<Node> Children(const QDBusConnection& bus, const Node& node)
{
    QDBusMessage reply = Call(bus, node, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetChildren"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return References(reply.arguments()[0].value<QDBusArgument>());
}

QStringList LabelledBy(const QDBusConnection& bus, const Node& node)
{
    QStringList names;
    QDBusMessage reply = Call(bus, node, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetRelationSet"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return names;
    const QDBusArgument relations = reply.arguments()[0].value<QDBusArgument>();
    relations.beginArray();
    while (!relations.atEnd()) {
        unsigned type = 0;
        relations.beginStructure();
        relations >> type;
        QList<Node> targets = References(relations);
        relations.endStructure();
        if (type == RelationLabelledBy)
            for (const Node& target : targets)
                names << Property(bus, target, "Name");
    }
    relations.endArray();
    return names;
}

void Print(const QDBusConnection& bus, const Node& node, int depth)
{
    std::printf("%s\t%s\t%s\t%s\n", qPrintable(Text(bus, node, "GetRoleName")), qPrintable(Property(bus, node, "Name")),
                qPrintable(Property(bus, node, "Description")), qPrintable(LabelledBy(bus, node).join(QLatin1Char('|'))));
    if (depth < MaxDepth)
        for (const Node& child : Children(bus, node))
            Print(bus, child, depth + 1);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QDBusMessage address = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
        QDBus::Block, 5000);
    if (address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty()) {
        std::fprintf(stderr, "atspi-tree: no accessibility bus: %s\n", qPrintable(address.errorMessage()));
        return 1;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(address.arguments()[0].toString(), QStringLiteral("a11y"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "atspi-tree: cannot connect: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    Node registry{QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")};
    for (const Node& application : Children(bus, registry))
        Print(bus, application, 0);
    return 0;
}
