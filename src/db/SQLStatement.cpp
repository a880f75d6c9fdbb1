#include "db/SQLStatement.h"

#include <sqlite3.h>

#include <cstdio>

namespace kt {

SQLStatement::~SQLStatement() { close(); }

void SQLStatement::close() {
  if (m_statement) {
    sqlite3_finalize(m_statement);
    m_statement = nullptr;
  }
}

void SQLStatement::reset() {
  if (m_statement) sqlite3_reset(m_statement);
}

std::string SQLStatement::description() const {
  char head[64];
  std::snprintf(head, sizeof head, "<SQLStatement: %p> %ld hit(s) for query ", static_cast<const void*>(this),
                m_useCount);
  return head + m_query;
}

}  // namespace kt
