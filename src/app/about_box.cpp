#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QLabel>
#include <QVBoxLayout>

QString VarnoskVersion() { return QStringLiteral(VARNOSK_VERSION); }

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("关于软件");
  auto* col = new QVBoxLayout(this);
  auto* name = new QLabel("Varnosk", this);
  QFont big = name->font();
  big.setPointSize(big.pointSize() + 8);
  big.setBold(true);
  name->setFont(big);
  name->setAlignment(Qt::AlignCenter);
  auto* version = new QLabel("版本 " + VarnoskVersion(), this);
  version->setObjectName("version");
  version->setAlignment(Qt::AlignCenter);
  auto* what = new QLabel("音频、视频批量格式转换", this);
  what->setAlignment(Qt::AlignCenter);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText("确定");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  col->addWidget(name);
  col->addWidget(version);
  col->addWidget(what);
  col->addWidget(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(300, 160)));
}
